#pragma once

#include <QLineEdit>
#include <QString>
#include <span>

namespace tarvo {

class RetreiveAccountingApp;
namespace frames {
struct Command;
}

// The location and law texts with their files, and setting the board's clock.
class LocationLawClock {
  public:
    explicit LocationLawClock(RetreiveAccountingApp& w);

    // Each returns false, having sent nothing, when under the Brisko target a portion is too
    // long for its one-byte target prefix, or on a multi-drop line a line for its frame.
    bool SendLocationInfo();
    bool SendLawInfo();
    void SendTimeAndDate();

    void ButtonSendLocationInfo_Click();
    void ButtonSendLawInfo_Click();
    void ButtonSendTimeAndDate_Click();
    // 0 opens and 1 saves a location file, 2 opens and 3 saves a law file.
    void LoadLocationInfo_Click(int index);

  private:
    void prepare();
    // Shows why a portion cannot be announced and returns true; `fixedBytes` are the bytes of
    // the portion that are no text (header and line ends).
    bool refusesLongPortion(const frames::Command& portion, int fixedBytes, const QString& what);
    // The same on a multi-drop line for a line longer than one frame can carry.
    bool refusesLongLine(const frames::Command& portion);
    void openFile(std::span<QLineEdit* const> boxes);
    void saveFile(std::span<QLineEdit* const> boxes, const QString& extension);

    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
