# The USB checks of the kernel-disk machine (sourced by kernel_disks_checks.sh while its server
# runs): the drives on bus "usb" behind a USB gadget on the dummy host controller.
