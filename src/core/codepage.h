#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace tarvo {

// The board's and the files' single-byte character set (Windows-1252). Characters it cannot
// hold become '?'.
QByteArray toBoardBytes(QStringView text);
QString fromBoardBytes(const QByteArray& bytes);

}  // namespace tarvo
