#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct pg_conn;

namespace tarvo {

// Ends every wait of the links that share it, at once and for good: the owner is closing.
// trigger() may be called from any thread.
class Interrupt {
  public:
    Interrupt();
    ~Interrupt();
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;
    void trigger();
    bool triggered() const;
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

// One connection to a PostgreSQL server on which every step has a bound of its own, kept on
// this side: the connection (connect_timeout), each statement (a client-side limit after
// which the connection is dropped), and an Interrupt. A server that stops answering without
// closing holds no caller longer than that, whatever the network does.
class PgLink {
  public:
    struct Result {
        bool ok = false;
        QString problem;   // when not ok
        QString sqlState;  // the server's code of the failure, "" when it did not answer
        std::vector<std::vector<QVariant>> rows;  // text values; a null QVariant for NULL
    };
    using Params = std::vector<std::pair<QByteArray, QByteArray>>;

    PgLink(std::shared_ptr<Interrupt> interrupt, int statementMs);
    ~PgLink();
    PgLink(const PgLink&) = delete;
    PgLink& operator=(const PgLink&) = delete;

    // Connects with libpq's keywords and values; false with problem() when it could not.
    bool open(const Params& params, int connectMs);
    bool isOpen() const { return conn_ != nullptr; }
    void close();
    const QString& problem() const { return problem_; }
    QString user() const;

    // One statement with $1, $2, ... bound to `binds` (sent as text). A failure the server
    // did not answer for drops the connection.
    Result exec(const QString& sql, const QVariantList& binds = {});

    // The keywords libpq knows.
    static std::vector<QByteArray> keywords();

  private:
    // Waits until the socket is ready for `events` or the deadline passes or the interrupt
    // fires; false then, with problem_ set.
    bool waitFor(short events, qint64 deadlineMs);

    std::shared_ptr<Interrupt> interrupt_;
    int statementMs_;
    pg_conn* conn_ = nullptr;
    QString problem_;
};

}  // namespace tarvo
