# Inside the benchmark machine: the device server's drives behind kernel disks, then the timings.
bench=/kernel-bench.json
. /kernel_serve.sh
grep -q '^vtbench-serve: ready' /tmp/serve.log || { echo "BENCH the server did not start"; exit 0; }
bash /peer_bench.bash "$(cat /bench.runs)" "$serve_pid" 2>&1
