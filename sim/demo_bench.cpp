// The demo bench: one of each kind of disk the tool meets, so that `--demo` shows every page.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>

#include "sim/bench.h"

namespace vt::sim {
namespace {

// The q701 drive comes last: the scan leaves the carrier mode of the last disk it examined, and
// that bridge needs the PIO carrier.
constexpr const char* kDemoBench = R"json({
  "drives": [
    {
      "comment": "K38 on SATA, build 3, revision 45: its firmware log is found through the DRAM layout record; the UART ring has wrapped",
      "bus": "ide",
      "model": "K38", "build": "3", "revision": "45", "smart_code": "3001",
      "product": "Vantrel VT538 SSD 256GB", "serial": "VT38A1B2C3D4", "firmware": "K383.45",
      "capacity_sectors": 500118192,
      "flash": {"vendor": "Toshiba", "cell": "MLC", "sectors_per_page": 32, "pages_per_block": 256,
                "blocks_per_ce": 2048, "dies_per_ce": 1, "name": "TC58TEG6DDKTA00"},
      "channels": 4, "banks": 2,
      "system_blocks": [16, 17, 40, 41], "stale_system_blocks": [0],
      "bad_blocks": {
        "factory": [
          {"channel": 0, "ce": 0, "block": 301}, {"channel": 0, "ce": 0, "block": 302},
          {"channel": 0, "ce": 0, "block": 303}, {"channel": 1, "ce": 1, "block": 1200},
          {"channel": 2, "ce": 0, "block": 77}, {"channel": 3, "ce": 1, "block": 2000}
        ],
        "early": [
          {"channel": 0, "ce": 1, "unit": 412}, {"channel": 2, "ce": 0, "unit": 88}
        ],
        "later": [
          {"channel": 1, "ce": 1, "unit": 16, "type": "prog_fail"},
          {"channel": 1, "ce": 1, "unit": 530, "type": "erase_fail", "remap_to": 1020},
          {"channel": 0, "ce": 0, "unit": 700, "type": "ecc_fail", "remap_to": 1019, "plane": 1},
          {"channel": 3, "ce": 0, "unit": 95, "type": "ecc_over"},
          {"channel": 2, "ce": 1, "unit": 260, "type": "prog_fail", "remap_to": 1018}
        ],
        "remaps": [{"channel": 3, "ce": 1, "plane": 0, "unit": 640, "to": 1017}]
      },
      "wear": {"average": 350, "spread": 90, "seed": 38},
      "smart": {"power_on_hours": 8123, "power_cycles": 1402, "power_loss": 23, "temperature": [38, 21, 63]},
      "uart_log": {"size": 4096, "wrapped": true}
    },
    {
      "comment": "K12 on SATA: one erase count table and one bad-unit list for the whole drive",
      "bus": "ide",
      "model": "K12", "build": "1", "revision": "21", "fw_variant": "00",
      "product": "Vantrel VT512 SSD 64GB", "serial": "VT12E5F6A7B8", "firmware": "K121.21",
      "capacity_sectors": 125045424,
      "flash": {"vendor": "Micron", "cell": "MLC", "sectors_per_page": 16, "pages_per_block": 256,
                "blocks_per_ce": 2048},
      "channels": 2, "banks": 2,
      "bad_blocks": {
        "factory": [{"channel": 0, "ce": 0, "block": 12}, {"channel": 1, "ce": 1, "block": 900}],
        "early": [{"channel": 1, "ce": 0, "unit": 64}],
        "later": [
          {"channel": 0, "ce": 0, "unit": 128, "type": 3},
          {"channel": 1, "ce": 0, "unit": 128, "type": 3},
          {"channel": 0, "ce": 1, "unit": 333, "type": 7}
        ]
      },
      "wear": {"average": 1200, "spread": 300, "seed": 12}
    },
    {
      "comment": "K14 behind a SCSI/ATA translation layer: one 16-bit erase count table per CE",
      "bus": "scsi",
      "model": "K14", "build": "2", "revision": "30",
      "product": "Vantrel VT514 SSD 128GB", "serial": "VT14C9D0E1F2", "firmware": "K142.30",
      "flash": {"vendor": "Samsung", "cell": "MLC", "sectors_per_page": 16, "pages_per_block": 128,
                "blocks_per_ce": 4096},
      "channels": 4, "banks": 2, "table_flags": 4,
      "bad_blocks": {"random": {"factory": 9, "early": 3, "later": 6, "seed": 14}},
      "wear": {"average": 80, "spread": 25, "seed": 14}
    },
    {
      "comment": "a SATA disk of another maker: it spins, and knows nothing of the vendor protocol",
      "bus": "ide", "vendor": false,
      "product": "Otherco HD500 500GB", "serial": "OC5K2HD500X1", "firmware": "HD01",
      "rotation": 7200, "capacity_sectors": 976773168
    },
    {
      "comment": "a K38 that sits in its loader; its serial flash holds copies of the firmware logs",
      "bus": "ide", "mode": "loader",
      "model": "K38", "build": "3", "revision": "41",
      "product": "Vantrel VT538 SSD 128GB", "serial": "VT38L0ADER01", "firmware": "K383.41",
      "spi_logs": {"tag": "VTK38V00-002"},
      "uart_log": {"location": "fixed", "size": 8192}
    },
    {
      "comment": "a K35 behind an older bridge that takes vendor command blocks as its own commands",
      "bus": "usb", "bridge": "older", "bridge_tag": "FK1X",
      "bridge_vendor": "Vantrel", "bridge_product": "FK1X Flash Disk",
      "model": "K35", "build": "1", "revision": "12",
      "product": "Vantrel VT535 SSD 32GB", "serial": "VT35FK1X0001", "capacity_sectors": 62533296,
      "channels": 2, "banks": 1,
      "flash": {"vendor": "Hynix", "sectors_per_page": 16, "blocks_per_ce": 2048}
    },
    {
      "comment": "a K35 behind a q701 bridge, which passes only the PIO carrier",
      "bus": "usb", "bridge_tag": "q701",
      "bridge_vendor": "Vantrel", "bridge_product": "q701 USB-SATA",
      "model": "K35", "build": "2", "revision": "18",
      "product": "Vantrel VT535 SSD 64GB", "serial": "VT35Q7010002", "capacity_sectors": 125045424,
      "channels": 4, "banks": 2,
      "bad_blocks": {
        "factory": [{"channel": 2, "ce": 1, "block": 555}],
        "later": [{"channel": 0, "ce": 1, "unit": 300, "type": "erase_fail", "remap_to": 1000}]
      },
      "wear": {"average": 40, "spread": 12, "seed": 35}
    }
  ]
})json";

}  // namespace

std::unique_ptr<platform::BenchBackend> MakeDemoBench() {
    std::string error;
    auto bench = MakeBench(nlohmann::json::parse(kDemoBench), error);
    if (!bench) {
        // The demo is part of the program: a refusal is a defect of this file.
        std::fprintf(stderr, "vtutil: the demo bench is broken: %s\n", error.c_str());
        std::abort();
    }
    return bench;
}

nlohmann::json LargestGeometryDrive() {
    return {{"bus", "ide"},
            {"model", "K38"},
            {"build", "1"},
            {"revision", "45"},
            {"channels", 8},
            {"banks", 8},
            {"features", {4, 5}},
            {"flash",
             {{"vendor", "Toshiba"},
              {"sectors_per_page", 32},
              {"pages_per_block", 256},
              {"blocks_per_ce", 4096},
              {"dies_per_ce", 1}}},
            {"bad_blocks",
             {{"random", {{"factory", 200}, {"early", 60}, {"later", 160}, {"seed", 7}}}}}};
}

}  // namespace vt::sim
