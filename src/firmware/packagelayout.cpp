#include "firmware/packagelayout.h"

#include <algorithm>

namespace tw {

namespace {

std::string Range(std::uint64_t start, std::uint64_t size) {
  return std::to_string(start) + " + " + std::to_string(size) + " bytes";
}

// An image of size bytes at start must end at or before the record.
LayoutCheck Inside(const char* name, std::uint64_t start, std::uint64_t size, std::uint64_t recordAt) {
  const bool ok = LiesInside(start, size, recordAt);
  return {ok, std::string(name) + " image at " + Range(start, size) +
                  (ok ? " lies inside the file"
                      : " does not end before sImageHeader at " + std::to_string(recordAt))};
}

LayoutCheck RecordedOffset(const char* field, DWORD recorded, std::uint64_t expected) {
  const bool ok = recorded == expected;
  return {ok, std::string(field) + " " + std::to_string(recorded) +
                  (ok ? " is where the image lies" : " should be " + std::to_string(expected))};
}

}  // namespace

std::vector<LayoutCheck> CheckPackageLayout(const sImageHeader& header, std::uint64_t fileLength) {
  std::vector<LayoutCheck> checks;
  // The record and its magic.
  if (fileLength < IMAGE_HEADER_SIZE) {
    checks.push_back({false, "the file is shorter than the 36-byte sImageHeader: no package"});
    return checks;
  }
  const bool magic = header.dwMagic == IMAGE_HEADER_MAGIC;
  checks.push_back({magic, magic ? "dwMagic is \"IDJB\"" : "dwMagic is not \"IDJB\": no package"});
  if (!magic) {
    return checks;
  }
  const std::uint64_t recordAt = fileLength - IMAGE_HEADER_SIZE;
  // EBOOT: both fields set, or both 0 for none.
  std::uint64_t pdaStart = header.dwPdaOffset;
  if (header.dwEbootOffset != 0 && header.dwEbootSize != 0) {
    checks.push_back(Inside("EBOOT", header.dwEbootOffset, header.dwEbootSize, recordAt));
    pdaStart = std::uint64_t{header.dwEbootOffset} + header.dwEbootSize;
    checks.push_back(RecordedOffset("dwPdaOffset", header.dwPdaOffset, pdaStart));
  } else if (header.dwEbootOffset != 0 || header.dwEbootSize != 0) {
    checks.push_back({false, "dwEbootOffset " + std::to_string(header.dwEbootOffset) + " and dwEbootSize " +
                                 std::to_string(header.dwEbootSize) +
                                 " disagree: the EBOOT image is skipped"});
  } else {
    checks.push_back({true, "no EBOOT image"});
  }
  // PDA, then phone directly behind it, then the record directly behind that.
  checks.push_back(Inside("PDA", pdaStart, header.dwPdaSize, recordAt));
  const std::uint64_t phoneStart = pdaStart + header.dwPdaSize;
  checks.push_back(RecordedOffset("dwPhoneOffset", header.dwPhoneOffset, phoneStart));
  checks.push_back(Inside("phone", phoneStart, header.dwPhoneSize, recordAt));
  const std::uint64_t phoneEnd = phoneStart + header.dwPhoneSize;
  const bool backToBack = phoneEnd == recordAt;
  checks.push_back({backToBack, backToBack ? "sImageHeader follows the phone image directly"
                                           : "the phone image ends at " + std::to_string(phoneEnd) +
                                                 ", not where sImageHeader begins (" +
                                                 std::to_string(recordAt) + ")"});
  return checks;
}

bool IsSoundLayout(const std::vector<LayoutCheck>& checks) {
  return !checks.empty() &&
         std::all_of(checks.begin(), checks.end(), [](const LayoutCheck& c) { return c.ok; });
}

}  // namespace tw
