#include <gtest/gtest.h>

#include "core/dialog_filter.h"
#include "shell/cd_file.h"
#include "support/window_fixture.h"

namespace tarvo::test {
namespace {

TEST(DialogFilter, ConvertsTheBarFormIntoNameFilters) {
    struct Case {
        const char* filter;
        QStringList expected;
    };
    const Case cases[] = {
        {"Law files (*.law)|*.law|All files (*.*)|*.*", {"Law files (*.law)", "All files (*)"}},
        {"Bix File (K7731_*.bix)|K7731_*.bix|All files (*.*)|*.*|",
         {"Bix File (K7731_*.bix)", "All files (*)"}},
        {"Texts|*.txt;*.TXT", {"Texts (*.txt *.TXT)"}},
        {"Odd one", {"Odd one (*)"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dialogNameFilters(QString::fromLatin1(c.filter)), c.expected) << c.filter;
    }
}

TEST(SubOpenFile, TitleDecidesOpenOrSaveAndResultsFillTheModule) {
    WindowFixture f;
    auto& dialog = f.w().cdFile();
    struct Case {
        const char* title;
        bool save;
    };
    const Case cases[] = {{"Open File", false}, {"Save File", true}, {"open file", true}};
    for (const auto& c : cases) {
        dialog.DialogTitle = QString::fromLatin1(c.title);
        dialog.Filter = QStringLiteral("Location files (*.loc)|*.loc|All files (*.*)|*.*");
        dialog.FileName = QStringLiteral("left over");
        f.files->answer(QStringLiteral("/tmp/a folder/site.loc"));
        EXPECT_EQ(f.w().subOpenFile(), QStringLiteral("/tmp/a folder/site.loc")) << c.title;
        const FileRequest& request = f.files->requests.back();
        EXPECT_EQ(request.save, c.save) << c.title;
        EXPECT_EQ(request.mustExist, !c.save) << c.title;
        EXPECT_EQ(request.owner, &f.w());
        EXPECT_EQ(request.title, QString::fromLatin1(c.title));
        EXPECT_TRUE(request.initialName.isEmpty());
        EXPECT_EQ(request.nameFilters, QStringList({"Location files (*.loc)", "All files (*)"}));
    }
}

TEST(SubOpenFile, CancelGivesNoFileAndLeavesTheNameEmpty) {
    WindowFixture f;
    auto& dialog = f.w().cdFile();
    dialog.DialogTitle = QStringLiteral("Open File");
    dialog.FileName = QStringLiteral("old");
    f.files->cancel();
    EXPECT_TRUE(f.w().subOpenFile().isEmpty());
    EXPECT_TRUE(dialog.FileName.isEmpty());
    EXPECT_TRUE(dialog.CancelError);
    // Without CancelError a cancelled dialog is no error and keeps the name it had.
    dialog.CancelError = false;
    dialog.FileName = QStringLiteral("kept");
    f.files->cancel();
    EXPECT_EQ(dialog.ShowSave(), 0);
    EXPECT_EQ(dialog.FileName, QStringLiteral("kept"));
    dialog.CancelError = true;
    EXPECT_EQ(dialog.ShowOpen(), CD_File::kCancelError);
}

}  // namespace
}  // namespace tarvo::test
