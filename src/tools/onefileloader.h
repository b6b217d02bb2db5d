// The loader of one-file images: extracts the three parts into the current
// directory under their stored names and makes them the current images.
#pragma once
#include <array>
#include <string>

#include "firmware/imageset.h"
#include "tools/onefileheader.h"

namespace tw {

// LoadOneFileImage codes.
inline constexpr int kLoadCannotOpen = -1;
inline constexpr int kLoadReadFailed = -2;   // a read failed (header or body)
inline constexpr int kLoadHeaderShort = -3;  // the header read returned fewer than 812 bytes
inline constexpr int kLoadNoMemory[kPartCount] = {-4, -6, -8};
inline constexpr int kLoadShortBody[kPartCount] = {-5, -7, -9};
inline constexpr int kLoadCannotCreatePart = -10;
inline constexpr int kLoadCannotWritePart = -11;
// A name field that is not a plain file name (empty, a path, "." or ".."):
// the image is refused before anything is written or loaded.
inline constexpr int kLoadUnsafeName = -12;
inline constexpr int kLoadBadTag = -100;

// What a loaded part becomes: the description text of its image.
using ImageTexts = std::array<std::string, kPartCount>;

// Loads the one-file image at path into images: each part is extracted to a
// file of its name in the current directory (replacing one that is there),
// EBOOT and PDA are copied into their buffers, the phone part is opened and
// cut into packets by the phone reader, and the image table and texts are
// set, part by part. 0, or a code above. No rollback: parts loaded before a
// failure stay loaded, files extracted stay in place.
int LoadOneFileImageInto(const std::string& path, CImageSet& images, ImageTexts& texts);

// What a code means, for a line on the command line.
std::string OneFileLoadError(int code);

}  // namespace tw
