#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvo::sim {

// Cuts the byte stream a board receives into whole commands. The length of a command is
// known only by reading it (text commands end after a count of CRs), so this is also where
// the target prefix GS "TP" code is checked against the bytes that follow it.
class CommandReader {
  public:
    struct Item {
        QByteArray bytes;
        bool prefix = false;  // a target prefix rather than a command
        bool junk = false;    // bytes that form no command
        QString error;        // set when the board saw a protocol error here
    };

    void setRequirePrefix(bool on) { requirePrefix_ = on; }
    // In terminal mode every byte is a keystroke, except the leave sequence and prefixes.
    QList<Item> feed(char byte, bool terminalMode);
    // Drops a half-received command; returns it as an error item when there was one.
    QList<Item> abandon();
    bool busy() const { return !cur_.isEmpty() || !inlinePrefix_.isEmpty(); }

  private:
    enum class Need { More, Complete, Invalid };
    static Need examine(const QByteArray& cur, int& length);
    QList<Item> feedCommand(char byte);
    QList<Item> feedTerminal(char byte);
    QList<Item> append(char byte);
    void finishCommand(QList<Item>& out, QByteArray bytes);
    void startPrefix(QList<Item>& out, const QByteArray& bytes);
    // Checks a prefix that covers cur_ from prefixStart_ up to `end`.
    QString checkCovered(int end, bool pulseWrite);
    bool lawFirstHalfDone() const;

    QByteArray cur_;
    QByteArray inlinePrefix_;  // a prefix arriving in the middle of the law text
    int prefixCode_ = -1;      // -1: no prefix pending
    int prefixStart_ = 0;
    bool lawSplitChecked_ = false;
    QString splitError_;  // found when the first half of the law text ended
    bool requirePrefix_ = false;
};

}  // namespace tarvo::sim
