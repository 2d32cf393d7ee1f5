// Writes the placeholder firmware image to the file named on the command line:
//   make_placeholder_image resources/firmware.bin
#include <cstdio>

#include "resources/placeholder_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  const auto image = velkor::MakePlaceholderImage();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "%s: write failed\n", argv[1]);
    return 1;
  }
  return 0;
}
