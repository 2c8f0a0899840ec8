#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The location and law files: a fixed number of text lines, each in Windows-1252 and ended by
// CR LF, nothing else.
namespace tarvo::textfile {

// Far above any real location or law text; anything larger is not such a file.
constexpr qsizetype kMaxBytes = 64 * 1024;

enum class Problem { None, TooLarge, Binary };

struct Lines {
    QStringList lines;  // always `count` of them
    Problem problem = Problem::None;
};

// The first `count` lines of a file's bytes. Lines the file lacks come back empty, lines beyond
// `count` are ignored. CR LF, a lone LF and a lone CR all end a line, so files edited elsewhere
// load too. Control bytes other than tab and line ends mark a file that holds no text.
Lines readLines(const QByteArray& data, int count);

// The file's bytes for `lines`, as typed (blanks kept).
QByteArray writeLines(const QStringList& lines);

// `path` with `extension` (".Loc") appended unless it already ends so in any letter case.
QString withExtension(const QString& path, const QString& extension);

}  // namespace tarvo::textfile
