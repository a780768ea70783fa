// birdwriter: makes a BIRD file from a description, for tests and demos.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "sim/BirdWriter.h"

namespace {

const char kUsage[] =
    "usage: birdwriter -o OUT.bird [--break KIND] [--image] [DESCRIPTION]\n"
    "--image writes the unpacked image instead of the file.\n"
    "Reads the description from the file named, or from standard input. One block per line:\n"
    "  info BUILD VERSION SERIAL MODEL      information block (each field padded to 16)\n"
    "  loader ADDRESS PAYLOAD [flags=N]     loader block\n"
    "  firmware ADDRESS PAYLOAD [flags=N]   firmware block\n"
    "  offsets SERIAL_ADDRESS DESCRIPTOR_ADDRESS\n"
    "  start ADDRESS                        start-address block\n"
    "  block TYPE PAYLOAD [flags=N]         any other block\n"
    "  count N                              declared block count (default: the real one)\n"
    "  version N                            format version (default 0x0101)\n"
    "PAYLOAD is hex:0011AA, text:abc, zero:N, code:N[:SEED] or file:PATH.\n"
    "KIND is one of:";

}  // namespace

int main(int argc, char** argv) {
  std::string out, breakage = "none", input;
  bool image_only = false;
  bool help = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) out = argv[++i];
    else if (a == "--break" && i + 1 < argc) breakage = argv[++i];
    else if (a == "--image") image_only = true;
    else if (a == "-h" || a == "--help") help = true;
    else input = a;
  }
  if (help || out.empty()) {
    std::cerr << kUsage;
    for (const auto& name : birdsim::BreakageNames()) std::cerr << " " << name;
    std::cerr << "\n";
    return help ? 0 : 2;
  }
  try {
    std::stringstream text;
    if (input.empty()) {
      text << std::cin.rdbuf();
    } else {
      std::ifstream in(input);
      if (!in) throw std::invalid_argument("cannot read " + input);
      text << in.rdbuf();
    }
    const birdsim::BirdImage image = birdsim::BirdImage::Parse(text.str());
    const birdsim::Breakage kind = birdsim::ParseBreakage(breakage);
    if (image_only) {
      const birdsim::Bytes bytes = image.Image(kind);
      std::ofstream file(out, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      if (!file) throw std::runtime_error("cannot write " + out);
    } else {
      image.WriteTo(out, kind);
    }
  } catch (const std::exception& e) {
    std::cerr << "birdwriter: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
