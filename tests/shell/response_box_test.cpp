#include "shell/response_box.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <cstdio>
#include <set>

namespace tarvo::test {
namespace {

// The bounds as the user is promised them, not as the box happens to define them.
constexpr qsizetype kLines = 20000;
constexpr qsizetype kChars = 2 * 1024 * 1024;

// Resident memory of this process in bytes.
qint64 residentBytes() {
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// What the box kept must be the newest whole lines of what was sent, as many as the bounds
// allow, and the widget must show exactly that.
void expectNewestWithinBounds(const ResponseBox& box, const QString& sent) {
    const QString& kept = box.text();
    ASSERT_TRUE(sent.endsWith(kept));
    EXPECT_LE(kept.size(), kChars);
    EXPECT_LE(kept.count('\n') + 1, kLines);
    EXPECT_LE(box.document()->blockCount(), kLines);
    EXPECT_EQ(box.toPlainText(), QString(kept).replace("\r\n", "\n"));
    const qsizetype start = sent.size() - kept.size();
    if (start == 0) {
        return;
    }
    // Nothing more would have fitted: the line before would pass a bound, or the cut falls
    // inside a line longer than the character bound.
    const qsizetype lineStart = sent.lastIndexOf('\n', start - 1) + 1;
    if (sent[start - 1] == '\n') {
        const qsizetype before = sent.lastIndexOf('\n', start - 2) + 1;
        EXPECT_TRUE(sent.size() - before > kChars || kept.count('\n') + 2 > kLines);
    } else {
        EXPECT_EQ(kept.size(), kChars);
        EXPECT_LT(lineStart, start);
    }
}

QString lines(int count, int width, int first = 0) {
    QString text;
    for (int i = 0; i < count; ++i) {
        QString line = QString::number(first + i).rightJustified(8, '0') + ' ';
        text += line.leftJustified(width, 'x') + "\r\n";
    }
    return text;
}

// Floods past each bound, with and without the event loop turning in between, by
// characters and by runs of text: the newest text stays, the widget agrees.
TEST(ResponseBox, AFloodKeepsTheNewestLinesWithinTheBounds) {
    struct Case {
        const char* name;
        QString text;
        int run;  // characters between turns; a megabyte line costs the widget a layout each
    };
    const Case cases[] = {
        {"many short lines", lines(30000, 10), 4096},
        {"long lines", lines(4000, 1000), 4096},
        {"one line without an end", QString(3 * 1024 * 1024, 'z'), 512 * 1024},
        {"lines then a long tail", lines(100, 30) + QString(2 * 1024 * 1024 + 5, 'y'), 512 * 1024},
    };
    for (const Case& c : cases) {
        for (const bool turns : {true, false}) {
            for (const bool byChar : {true, false}) {
                if (byChar && c.run > 4096) {
                    continue;  // a character at a time changes nothing for one long line
                }
                SCOPED_TRACE(std::string(c.name) + (turns ? ", turns" : ", no turns") +
                             (byChar ? ", by character" : ", by run"));
                ResponseBox box;
                for (qsizetype at = 0; at < c.text.size(); at += c.run) {
                    const QString run = c.text.mid(at, c.run);
                    if (byChar) {
                        for (QChar ch : run) {
                            box.appendText(QString(ch));
                        }
                    } else {
                        box.appendText(run);
                    }
                    if (turns) {
                        QCoreApplication::processEvents();
                    }
                }
                QCoreApplication::processEvents();
                expectNewestWithinBounds(box, c.text);
            }
        }
    }
}

// Under the bounds nothing changes: a report read after clearing is all there, also once
// the box had been cut before.
TEST(ResponseBox, TextUnderTheBoundsIsKeptWhole) {
    ResponseBox box;
    box.appendText(lines(25000, 20));
    QCoreApplication::processEvents();
    box.clearText();
    const QString report = lines(19999, 60) + "last";
    box.appendText(report);
    EXPECT_EQ(box.text(), report);
    QCoreApplication::processEvents();
    EXPECT_EQ(box.text(), report);
    EXPECT_EQ(box.document()->blockCount(), kLines);
}

// Ten megabytes through the box in terminal runs, the event loop turning as a serial line
// makes it: memory once the box is full stays where it was.
TEST(ResponseBox, MemoryStaysFlatUnderATenMegabyteFlood) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer keeps freed memory aside to catch late uses: resident memory grows by
    // design there, so the figure means something only in a normal build.
    GTEST_SKIP() << "resident memory is not the program's under the address sanitizer";
#endif
    ResponseBox box;
    box.show();
    const QString run = lines(64, 62);  // 4 KB
    auto feed = [&](qint64 bytes) {
        for (qint64 sent = 0; sent < bytes; sent += run.size()) {
            box.appendText(run);
            QCoreApplication::processEvents();
        }
    };
    feed(3 * 1024 * 1024);
    const qint64 full = residentBytes();
    const qint64 flood = 10 * 1024 * 1024;
    feed(flood);
    const qint64 after = residentBytes();
    std::printf("resident memory: %.1f MB once full, %.1f MB after 10 MB more\n", full / 1048576.0,
                after / 1048576.0);
    // Keeping the flood would cost twice its size in the box's text alone (two bytes a
    // character), as much again in the widget; the allocator's own slack is a few megabytes
    // and varies from run to run, so the bound sits at half the smallest leak.
    EXPECT_LT(after - full, flood);
    EXPECT_LE(box.text().size(), kChars);
}

// The advances of the characters the board prints, 20h to 7Eh: one value when its columns
// line up. Measured here, not through the box's own check.
std::set<qreal> advances(const QFont& font) {
    const QFontMetricsF metrics(font);
    std::set<qreal> widths;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        widths.insert(metrics.horizontalAdvance(QChar(c)));
    }
    return widths;
}

TEST(ResponseBoxFont, TheSystemsMonospaceFontLinesUpTheColumns) {
    ResponseBox box;
    EXPECT_EQ(advances(box.font()).size(), 1u) << QFontInfo(box.font()).family().toStdString();
}

// The monospace fonts Debian installs are kept as they are, whatever their fixed-pitch flag
// says; a proportional one gives way to a family that lines up.
class ResponseBoxFamily : public testing::TestWithParam<const char*> {};

TEST_P(ResponseBoxFamily, KeepsAFamilyThatLinesUpAndReplacesOneThatDoesNot) {
    const QString family = QString::fromLatin1(GetParam());
    if (!QFontDatabase::hasFamily(family)) {
        GTEST_SKIP() << GetParam() << " is not installed (scripts/install-deps.sh installs it)";
    }
    QFont font(family);
    font.setPointSizeF(ResponseBox().font().pointSizeF());
    const QFont chosen = columnFont(font);
    EXPECT_EQ(advances(chosen).size(), 1u) << QFontInfo(chosen).family().toStdString();
    const bool monospace = family.contains(QLatin1String("Mono"));
    EXPECT_EQ(QFontInfo(chosen).family() == family, monospace);
    EXPECT_EQ(chosen.pointSizeF(), font.pointSizeF());
}

INSTANTIATE_TEST_SUITE_P(Families, ResponseBoxFamily,
                         testing::Values("DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono",
                                         "DejaVu Sans"));

}  // namespace
}  // namespace tarvo::test
