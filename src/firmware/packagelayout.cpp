#include "firmware/packagelayout.h"

namespace tw {

namespace {

std::string Range(std::uint64_t start, std::uint64_t size) {
  return std::to_string(start) + " + " + std::to_string(size) + " bytes";
}

class Checks {
 public:
  explicit Checks(PackageValidation& out) : m_out(out) {}

  void Add(bool ok, std::string text, PackageVerdict onFailure = PackageVerdict::kNoPackage) {
    m_out.checks.push_back({ok, std::move(text), onFailure});
  }

  // An image of size bytes at start must end at or before the record.
  void Inside(const char* name, std::uint64_t start, std::uint64_t size, std::uint64_t recordAt,
              PackageVerdict onFailure) {
    const bool ok = LiesInside(start, size, recordAt);
    Add(ok,
        std::string(name) + " image at " + Range(start, size) +
            (ok ? " lies inside the file" : " runs past sImageHeader at " + std::to_string(recordAt)),
        onFailure);
  }

  void RecordedOffset(const char* field, DWORD recorded, std::uint64_t expected) {
    const bool ok = recorded == expected;
    Add(ok, std::string(field) + " " + std::to_string(recorded) +
                (ok ? " is where the image lies" : " should be " + std::to_string(expected)));
  }

  void NotEmpty(const char* name, const char* field, DWORD size) {
    Add(size != 0, size != 0 ? std::string("the ") + name + " image is not empty"
                             : std::string("the ") + name + " image is empty (" + field + " 0)");
  }

  // The verdict: the first refusal, else the first cut, else sound.
  void Decide() {
    for (PackageVerdict kind : {PackageVerdict::kNoPackage, PackageVerdict::kCutOff}) {
      for (const LayoutCheck& check : m_out.checks) {
        if (!check.ok && check.onFailure == kind) {
          m_out.verdict = kind;
          m_out.reason = check.text;
          return;
        }
      }
    }
    m_out.verdict = PackageVerdict::kSound;
  }

 private:
  PackageValidation& m_out;
};

}  // namespace

PackageValidation ValidatePackage(const sImageHeader& header, std::uint64_t fileLength) {
  PackageValidation result;
  Checks checks(result);
  // The record and its magic.
  result.hasRecord = fileLength >= IMAGE_HEADER_SIZE;
  if (!result.hasRecord) {
    checks.Add(false, "the file is shorter than the 36-byte sImageHeader");
    checks.Decide();
    return result;
  }
  const bool magic = header.dwMagic == IMAGE_HEADER_MAGIC;
  checks.Add(magic, magic ? "dwMagic is \"IDJB\"" : "dwMagic is not \"IDJB\"");
  if (!magic) {
    checks.Decide();
    return result;
  }
  const std::uint64_t recordAt = fileLength - IMAGE_HEADER_SIZE;
  // EBOOT: both fields set, or both 0 for none; the PDA image directly behind it.
  std::uint64_t pdaStart = header.dwPdaOffset;
  if (header.dwEbootOffset != 0 && header.dwEbootSize != 0) {
    checks.Inside("EBOOT", header.dwEbootOffset, header.dwEbootSize, recordAt, PackageVerdict::kNoPackage);
    pdaStart = std::uint64_t{header.dwEbootOffset} + header.dwEbootSize;
    checks.RecordedOffset("dwPdaOffset", header.dwPdaOffset, pdaStart);
  } else if (header.dwEbootOffset != 0 || header.dwEbootSize != 0) {
    checks.Add(false, "dwEbootOffset " + std::to_string(header.dwEbootOffset) + " and dwEbootSize " +
                          std::to_string(header.dwEbootSize) +
                          " disagree on whether there is an EBOOT image");
  } else {
    checks.Add(true, "no EBOOT image");
    const bool inside = pdaStart <= recordAt;
    checks.Add(inside, "dwPdaOffset " + std::to_string(pdaStart) +
                           (inside ? " lies inside the file"
                                   : " lies beyond sImageHeader at " + std::to_string(recordAt)));
  }
  // PDA, then the phone image directly behind it, then the record directly
  // behind that. An image that runs past the record is cut off: a short read.
  checks.NotEmpty("PDA", "dwPdaSize", header.dwPdaSize);
  checks.Inside("PDA", pdaStart, header.dwPdaSize, recordAt, PackageVerdict::kCutOff);
  const std::uint64_t phoneStart = pdaStart + header.dwPdaSize;
  checks.RecordedOffset("dwPhoneOffset", header.dwPhoneOffset, phoneStart);
  checks.NotEmpty("phone", "dwPhoneSize", header.dwPhoneSize);
  checks.Inside("phone", phoneStart, header.dwPhoneSize, recordAt, PackageVerdict::kCutOff);
  const std::uint64_t phoneEnd = phoneStart + header.dwPhoneSize;
  if (phoneEnd <= recordAt) {
    const bool backToBack = phoneEnd == recordAt;
    checks.Add(backToBack, backToBack
                               ? "sImageHeader follows the phone image directly"
                               : "the phone image ends at " + std::to_string(phoneEnd) +
                                     ", not where sImageHeader begins (" + std::to_string(recordAt) + ")");
  }
  checks.Decide();
  return result;
}

std::string VerdictText(const PackageValidation& validation) {
  switch (validation.verdict) {
    case PackageVerdict::kSound:
      return {};
    case PackageVerdict::kCutOff:
      return "short read: " + validation.reason;
    case PackageVerdict::kNoPackage:
      break;
  }
  return "no package: " + validation.reason;
}

PackageValidation ValidatePackageFile(CFile& file, sImageHeader* header) {
  *header = sImageHeader{};
  const std::uint64_t length = file.GetLength();
  if (length >= IMAGE_HEADER_SIZE && !ReadImageHeader(file, *header)) {
    PackageValidation unread;
    unread.checks.push_back({false, "sImageHeader cannot be read", PackageVerdict::kNoPackage});
    unread.reason = unread.checks.back().text;
    return unread;
  }
  return ValidatePackage(*header, length);
}

}  // namespace tw
