#include "text_lines_file.h"

#include "codepage.h"

#include <algorithm>

namespace tarvo::textfile {

namespace {

bool isTextByte(unsigned char b) {
    return b >= 0x20 || b == '\t' || b == '\r' || b == '\n';
}

}  // namespace

Lines readLines(const QByteArray& data, int count) {
    Lines out;
    if (data.size() > kMaxBytes) {
        out.problem = Problem::TooLarge;
    } else if (!std::all_of(data.begin(), data.end(),
                            [](char c) { return isTextByte(static_cast<unsigned char>(c)); })) {
        out.problem = Problem::Binary;
    }
    if (out.problem != Problem::None) {
        return out;
    }
    qsizetype pos = 0;
    while (out.lines.size() < count && pos < data.size()) {
        qsizetype end = pos;
        while (end < data.size() && data[end] != '\r' && data[end] != '\n') {
            ++end;
        }
        out.lines << fromBoardBytes(data.mid(pos, end - pos));
        if (end < data.size() && data[end] == '\r' && end + 1 < data.size() &&
            data[end + 1] == '\n') {
            ++end;
        }
        pos = end + 1;
    }
    while (out.lines.size() < count) {
        out.lines << QString();
    }
    return out;
}

QByteArray writeLines(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out += toBoardBytes(line);
        out += "\r\n";
    }
    return out;
}

QString withExtension(const QString& path, const QString& extension) {
    return path.endsWith(extension, Qt::CaseInsensitive) ? path : path + extension;
}

}  // namespace tarvo::textfile
