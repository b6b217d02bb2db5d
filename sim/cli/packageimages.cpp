#include "sim/cli/packageimages.h"

#include <array>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/byteorder.h"

namespace tw::sim {

namespace {

constexpr std::size_t kTrailerBytes = 36;
constexpr std::uint32_t kTrailerMagic = 0x424A4449;  // "IDJB" in file order

// The trailer's words, in file order.
enum Word {
  kMagic,
  kEbootAt,
  kEbootSize,
  kPdaAt,
  kPdaSize,
  kFullSet,
  kExtraCmd,
  kPhoneAt,
  kPhoneSize,
  kWords
};

std::string Text(std::uint64_t n) {
  return std::to_string(n);
}

// Where each image lies, checked against the trailer's own offsets; an
// empty string when they add up, else what does not.
std::string Layout(const std::array<std::uint32_t, kWords>& w, std::uint64_t trailerAt,
                   std::uint64_t* pdaAt) {
  const bool eboot = w[kEbootAt] != 0 || w[kEbootSize] != 0;
  if (eboot && (w[kEbootAt] == 0 || w[kEbootSize] == 0)) {
    return "the EBOOT offset " + Text(w[kEbootAt]) + " and size " + Text(w[kEbootSize]) +
           " contradict each other";
  }
  *pdaAt = eboot ? std::uint64_t{w[kEbootAt]} + w[kEbootSize] : w[kPdaAt];
  if (w[kPdaAt] != *pdaAt) {
    return "the PDA image should begin at " + Text(*pdaAt) + ", the trailer says " + Text(w[kPdaAt]);
  }
  const std::uint64_t phoneAt = *pdaAt + w[kPdaSize];
  if (w[kPhoneAt] != phoneAt) {
    return "the phone image should begin at " + Text(phoneAt) + ", the trailer says " + Text(w[kPhoneAt]);
  }
  if (w[kPdaSize] == 0 || w[kPhoneSize] == 0) {
    return "the PDA or the phone image is empty";
  }
  const std::uint64_t phoneEnd = phoneAt + w[kPhoneSize];
  if (phoneEnd != trailerAt) {
    return "the images end at " + Text(phoneEnd) + ", the trailer begins at " + Text(trailerAt) +
           ": an image's size is wrong";
  }
  return {};
}

}  // namespace

bool LoadPackageImages(const std::string& path, SimImages* images, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (file.size() < kTrailerBytes) {
    *error = path + ": no package (shorter than its 36-byte trailer)";
    return false;
  }
  const std::uint64_t trailerAt = file.size() - kTrailerBytes;
  std::array<std::uint32_t, kWords> w{};
  for (int i = 0; i < kWords; ++i) {
    w[i] = LoadLe32(file.data() + trailerAt + 4 * i);
  }
  if (w[kMagic] != kTrailerMagic) {
    *error = path + ": no package (the trailer does not begin with \"IDJB\")";
    return false;
  }
  std::uint64_t pdaAt = 0;
  if (std::string wrong = Layout(w, trailerAt, &pdaAt); !wrong.empty()) {
    *error = path + ": the package's trailer does not describe its images: " + wrong;
    return false;
  }
  const auto at = [&file](std::uint64_t offset) {
    return file.begin() + static_cast<std::ptrdiff_t>(offset);
  };
  images->hasEboot = w[kEbootSize] != 0;
  images->eboot.assign(at(w[kEbootAt]), at(std::uint64_t{w[kEbootAt]} + w[kEbootSize]));
  images->os.assign(at(pdaAt), at(pdaAt + w[kPdaSize]));
  images->phone.assign(at(w[kPhoneAt]), at(trailerAt));
  // The last download block carries what follows the phone image: the trailer.
  images->phoneTail.assign(at(trailerAt), file.end());
  images->phoneFullSet = w[kFullSet] != 0;
  return true;
}

}  // namespace tw::sim
