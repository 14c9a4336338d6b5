// The error codes of the shared widgets, by name. They are part of the main
// program's number space (app/errors/ErrorCodes.h brings them into the same
// namespace, and listErrorEng.xml keys its texts by them), so a value never
// changes once given and is never reused there. The driver's windows show
// them too, through the same grid controls.
//
// Header only and free of everything else.
#pragma once

namespace qmx::err {

// ---- grid controls that could not be created (-5140 ... -5146) -------------------
inline constexpr int kCreateGridCombo = -5140;
inline constexpr int kCreateGridImageList = -5142;
inline constexpr int kGridImageListReadBack = -5143;
inline constexpr int kCreateGridSubItemImageList = -5144;
inline constexpr int kCreateGridEdit = -5145;
inline constexpr int kCreateGridList = -5146;

}  // namespace qmx::err
