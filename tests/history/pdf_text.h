#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace tarvo::test {

// What a poppler tool prints about a PDF file, or "" when it failed.
inline QString popplerOutput(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    const bool ran = p.waitForFinished(60000) && p.exitCode() == 0;
    return ran ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// The text of a PDF file as a reader sees it, its columns kept.
inline QString pdfText(const QString& path) {
    return popplerOutput(QStringLiteral("pdftotext"), {"-layout", path, "-"});
}

// True when some line of `text` holds `cells` in order, with only blanks between them.
inline bool hasRow(const QString& text, const QStringList& cells) {
    QStringList escaped;
    for (const auto& c : cells) {
        escaped << QRegularExpression::escape(c);
    }
    return QRegularExpression("(^|\\s)" + escaped.join(" +") + "($|\\s)",
                              QRegularExpression::MultilineOption)
        .match(text)
        .hasMatch();
}

}  // namespace tarvo::test
