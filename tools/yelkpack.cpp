/*
 * yelkpack: packs the ten client files into a payload and its expected-CRC
 * header, lists and verifies installers and payloads, and extracts them.
 */
#include "yelkpack.h"

#include <cstdio>

static const char kUsage[] =
    "usage: yelkpack pack DIR -o PAYLOAD --crc-header FILE.h [--greedy]\n"
    "       yelkpack list FILE\n"
    "       yelkpack verify FILE.exe\n"
    "       yelkpack extract FILE DIR [--crc HEX]\n";

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs(kUsage, stderr);
        return kExitUsage;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    BuildSessionMarker();
    if (command == "pack")
        return PackCommand(args);
    if (command == "list")
        return ListCommand(args);
    if (command == "verify")
        return VerifyCommand(args);
    if (command == "extract")
        return ExtractCommand(args);
    if (command == "--help" || command == "-h") {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    fputs(kUsage, stderr);
    return kExitUsage;
}
