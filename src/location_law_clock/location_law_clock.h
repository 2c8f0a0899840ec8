#pragma once

#include <QLineEdit>
#include <QString>
#include <optional>
#include <span>

#include "session/board_operations.h"
#include "session/board_session.h"

namespace tarvo {

class RetreiveAccountingApp;

// The location and law texts with their files, and setting the board's clock.
class LocationLawClock {
  public:
    explicit LocationLawClock(RetreiveAccountingApp& w);

    void ButtonSendLocationInfo_Click();
    void ButtonSendLawInfo_Click();
    void ButtonSendTimeAndDate_Click();
    // 0 opens and 1 saves a location file, 2 opens and 3 saves a law file.
    void LoadLocationInfo_Click(int index);

  private:
    // Waits for `sending` under `op` and then says `sent` (after emptying the response box,
    // if `clearAfter`).
    QCoro::Task<> send(BoardSession::Operation op, QCoro::Task<bool> sending, QString sent,
                       bool clearAfter = false);
    // Shows why a text cannot go to the board and returns true; false when it can.
    bool refuses(const std::optional<board::TextRefusal>& refusal);
    void openFile(std::span<QLineEdit* const> boxes);
    void saveFile(std::span<QLineEdit* const> boxes, const QString& extension);

    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
