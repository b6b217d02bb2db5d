#include "sim/simverify.h"

#include <algorithm>

#include "download/phoneparams.h"

namespace tw::sim {

namespace {

// Offset of the first difference between what came and what was due; a
// shorter or longer image differs where the shorter one ends.
Verdict Compare(const std::uint8_t* got, std::size_t gotSize, const std::uint8_t* due, std::size_t dueSize) {
  Verdict verdict;
  std::size_t common = std::min(gotSize, dueSize);
  auto diff = std::mismatch(got, got + common, due);
  if (diff.first != got + common) {
    verdict.firstMismatch = diff.first - got;
  } else if (gotSize != dueSize) {
    verdict.firstMismatch = static_cast<std::int64_t>(common);
  }
  verdict.result = verdict.firstMismatch < 0 ? "match" : "mismatch";
  return verdict;
}

Verdict CompareImage(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& due) {
  return Compare(got.data(), got.size(), due.data(), due.size());
}

// The region the run wrote at start: the last one erased there, acknowledged
// or not; null when the host never erased there.
RegionSummary* FindRegion(std::vector<RegionSummary>& regions, std::uint32_t start) {
  RegionSummary* found = nullptr;
  for (RegionSummary& region : regions) {
    if (region.erase != "none" && region.start == start && (!found || region.erase == "ack")) {
      found = &region;
    }
  }
  return found;
}

// One written region of the table against the image, up to the image's end;
// then the bytes of its last block past that end against the bytes that
// follow the image where it was loaded from, then zeros.
void VerifyRegion(const SimImages& expected, const SimFlash& flash, const RegionRecord& record,
                  RegionSummary& region) {
  const std::vector<std::uint8_t>& image = expected.phone;
  std::uint32_t size = static_cast<std::uint32_t>(image.size());
  std::uint32_t writeLen = GetRegionWriteLength(record, size);
  std::uint32_t inImage = record.dwStart < size ? std::min(writeLen, size - record.dwStart) : 0;
  std::uint32_t sent = region.blocks * kPhoneBlockSize;
  std::uint32_t written = std::min(inImage, sent);
  std::vector<std::uint8_t> got = flash.ReadModem(record.dwStart, written);
  region.verify = Compare(got.data(), got.size(), image.data() + record.dwStart, inImage);

  std::uint32_t blockEnd = GetPhoneBlockCount(writeLen) * kPhoneBlockSize;
  region.pastEndBytes = blockEnd - inImage;
  if (region.pastEndBytes == 0 || sent < blockEnd) {
    region.pastEnd = region.pastEndBytes == 0 ? "not-checked" : "mismatch";
    return;
  }
  std::vector<std::uint8_t> past = flash.ReadModem(record.dwStart + inImage, region.pastEndBytes);
  std::vector<std::uint8_t> due(region.pastEndBytes, 0);
  std::uint32_t from = record.dwStart + inImage - size;  // offset behind the image's end
  for (std::uint32_t i = 0; i < due.size() && from + i < expected.phoneTail.size(); ++i) {
    due[i] = expected.phoneTail[from + i];
  }
  region.pastEnd = past == due ? "match" : "mismatch";
}

}  // namespace

void VerifyRun(const SimImages& expected, const SimFlash& flash, SimRecorder& recorder) {
  std::vector<std::uint8_t> eboot = flash.Eboot();
  std::vector<std::uint8_t> os = flash.Os();
  PhoneParams params = MakePhoneParams(expected.phoneFullSet ? 1 : 0);
  recorder.Update([&](SimSummary& s) {
    bool passed = true;
    if (expected.hasEboot || !eboot.empty()) {
      s.eboot.verify = CompareImage(eboot, expected.hasEboot ? expected.eboot : std::vector<std::uint8_t>{});
      passed = passed && s.eboot.verify.result == "match";
    }
    s.os.verify = CompareImage(os, expected.os);
    passed = passed && s.os.verify.result == "match";
    // The phone image as a whole: its first region that differs.
    s.phone.verify = {"match", -1};
    auto judgePhone = [&s](const RegionSummary& region) {
      if (s.phone.verify.result == "match" && region.verify.result != "match") {
        s.phone.verify.result = "mismatch";
        s.phone.verify.firstMismatch = region.start + std::max<std::int64_t>(region.verify.firstMismatch, 0);
      }
    };
    int index = 0;
    for (const RegionRecord& record : params.regions) {
      ++index;
      if (GetRegionWriteLength(record, static_cast<std::uint32_t>(expected.phone.size())) == 0 &&
          record.dwWriteLen != kWriteToImageEnd) {
        continue;  // nothing to write (EFS)
      }
      RegionSummary* region = FindRegion(s.regions, record.dwStart);
      if (!region || region->erase != "ack") {
        if (!region) {
          s.regions.push_back({});
          region = &s.regions.back();
          region->index = index;
          region->start = record.dwStart;
        }
        region->verify.result = "missing";
        judgePhone(*region);
        passed = false;
        continue;
      }
      VerifyRegion(expected, flash, record, *region);
      judgePhone(*region);
      passed = passed && region->verify.result == "match";
    }
    s.verified = true;
    s.verifyPassed = passed;
  });
}

}  // namespace tw::sim
