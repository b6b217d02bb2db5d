// The handset's own package reader: a sound package gives its images; a
// trailer whose offsets and sizes do not add up to the file is refused.
#include "sim/cli/packageimages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/byteorder.h"
#include "tests/sim/scriptedrun.h"

namespace tw::sim::test {
namespace {

namespace fs = std::filesystem;

// The nine trailer words of a package: exe bytes, then the images.
struct Trailer {
  std::uint32_t words[9];
};

Trailer SoundTrailer(std::uint32_t exe, std::uint32_t eboot, std::uint32_t pda, std::uint32_t phone) {
  return {{0x424A4449, eboot ? exe : 0, eboot, exe + eboot, pda, 1, 0, exe + eboot + pda, phone}};
}

std::string Write(const std::string& name, const Bytes& body, const Trailer& trailer) {
  const std::string path =
      (fs::temp_directory_path() / ("tw-simpackage-" + std::to_string(::getpid()) + "-" + name)).string();
  Bytes file = body;
  for (std::uint32_t word : trailer.words) {
    std::uint8_t le[4];
    StoreLe32(le, word);
    file.insert(file.end(), le, le + 4);
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return path;
}

TEST(PackageImages, SoundPackageGivesItsImagesAndTheTrailerAsThePhoneTail) {
  const Bytes exe = Pattern(500, 1), eboot = Pattern(300, 2), pda = Pattern(700, 3), phone = Pattern(1500, 4);
  Bytes body = exe;
  for (const Bytes* image : {&eboot, &pda, &phone}) {
    body.insert(body.end(), image->begin(), image->end());
  }
  const std::string path = Write("sound", body, SoundTrailer(500, 300, 700, 1500));
  SimImages images;
  std::string error;
  ASSERT_TRUE(LoadPackageImages(path, &images, &error)) << error;
  EXPECT_TRUE(images.hasEboot);
  EXPECT_EQ(images.eboot, eboot);
  EXPECT_EQ(images.os, pda);
  EXPECT_EQ(images.phone, phone);
  EXPECT_EQ(images.phoneTail.size(), 36u);
  EXPECT_TRUE(images.phoneFullSet);
  fs::remove(path);
}

// The third direction the handset checks on its own: a package whose header
// lies about an image's size is no image set to compare with.
TEST(PackageImages, HeaderThatLiesAboutAnImagesSizeIsRefused) {
  const Bytes body = Pattern(500 + 300 + 700 + 1500, 5);
  struct Row {
    const char* name;
    std::function<void(Trailer&)> lie;
    const char* what;
  };
  const Row rows[] = {
      {"PDA 100 bytes longer",
       [](Trailer& t) {
         t.words[4] += 100;
         t.words[7] += 100;
       },
       "the images end at 3100, the trailer begins at 3000: an image's size is wrong"},
      {"phone 1 byte shorter", [](Trailer& t) { t.words[8] -= 1; },
       "the images end at 2999, the trailer begins at 3000: an image's size is wrong"},
      {"EBOOT longer, PDA where it was", [](Trailer& t) { t.words[2] += 8; },
       "the PDA image should begin at 808, the trailer says 800"},
      {"phone of 0 bytes", [](Trailer& t) { t.words[8] = 0; }, "the PDA or the phone image is empty"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Trailer trailer = SoundTrailer(500, 300, 700, 1500);
    row.lie(trailer);
    const std::string path = Write("lie", body, trailer);
    SimImages images;
    std::string error;
    EXPECT_FALSE(LoadPackageImages(path, &images, &error));
    EXPECT_NE(error.find(row.what), std::string::npos) << error;
    fs::remove(path);
  }
}

}  // namespace
}  // namespace tw::sim::test
