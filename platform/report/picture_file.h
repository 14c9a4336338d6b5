// Pictures read whole. Qt's bitmap reader takes a Windows bitmap whose pixels
// are cut short and leaves the missing rows blank, which would show a damaged
// station picture as if it were whole; the report says it cannot be read.
#pragma once

#include <QByteArray>
#include <QImage>

namespace qmx::report {

// The picture held by a file's bytes; null when Qt reads no picture in them
// or a Windows bitmap holds fewer pixel bytes than its header gives.
QImage DecodeWholePicture(const QByteArray& bytes);

}  // namespace qmx::report
