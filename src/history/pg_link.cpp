#include "history/pg_link.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QDateTime>
#include <cerrno>

namespace tarvo {

namespace {

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString text(const char* message) {
    return QString::fromUtf8(message).trimmed();
}

}  // namespace

Interrupt::Interrupt() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Interrupt::~Interrupt() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void Interrupt::trigger() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

bool Interrupt::triggered() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

PgLink::PgLink(std::shared_ptr<Interrupt> interrupt, int statementMs)
    : interrupt_(std::move(interrupt)), statementMs_(statementMs) {}

PgLink::~PgLink() {
    close();
}

void PgLink::close() {
    if (conn_) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
}

QString PgLink::user() const {
    return conn_ ? QString::fromUtf8(PQuser(conn_)) : QString();
}

std::vector<QByteArray> PgLink::keywords() {
    std::vector<QByteArray> out;
    PQconninfoOption* options = PQconndefaults();
    for (PQconninfoOption* o = options; o && o->keyword; ++o) {
        out.emplace_back(o->keyword);
    }
    PQconninfoFree(options);
    return out;
}

bool PgLink::waitFor(short events, qint64 deadlineMs) {
    for (;;) {
        if (interrupt_ && interrupt_->triggered()) {
            problem_ = QStringLiteral("stopped while the central history was being used");
            return false;
        }
        const qint64 left = deadlineMs - nowMs();
        if (left <= 0) {
            return false;  // the caller says which step ran out of time
        }
        pollfd fds[2] = {{PQsocket(conn_), events, 0},
                         {interrupt_ ? interrupt_->fd() : -1, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(std::min<qint64>(left, 1000)));
        if (n < 0 && errno != EINTR) {
            problem_ = QStringLiteral("cannot wait for the central history");
            return false;
        }
        if (n > 0 && fds[0].revents != 0) {
            return true;
        }
    }
}

bool PgLink::open(const Params& params, int connectMs) {
    close();
    problem_.clear();
    if (interrupt_ && interrupt_->triggered()) {
        problem_ = QStringLiteral("stopped while the central history was being used");
        return false;
    }
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : params) {
        keys.push_back(key.constData());
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = PQconnectStartParams(keys.data(), values.data(), 0);
    if (!conn_) {
        problem_ = QStringLiteral("out of memory");
        return false;
    }
    // libpq's own connect_timeout bounds each address; this one the whole connection.
    const qint64 deadline = nowMs() + connectMs;
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (PQstatus(conn_) != CONNECTION_BAD) {
        if (state == PGRES_POLLING_OK) {
            PQsetnonblocking(conn_, 1);
            return true;
        }
        if (state == PGRES_POLLING_FAILED) {
            break;
        }
        if (!waitFor(state == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline)) {
            if (problem_.isEmpty()) {
                problem_ = QStringLiteral("no answer within %1 s").arg(connectMs / 1000.0);
            }
            close();
            return false;
        }
        state = PQconnectPoll(conn_);
    }
    problem_ = text(PQerrorMessage(conn_));
    close();
    return false;
}

PgLink::Result PgLink::exec(const QString& sql, const QVariantList& binds) {
    Result r;
    if (!conn_) {
        r.problem = problem_.isEmpty() ? QStringLiteral("not connected") : problem_;
        return r;
    }
    std::vector<QByteArray> texts;
    std::vector<const char*> values;
    texts.reserve(static_cast<size_t>(binds.size()));
    for (const QVariant& b : binds) {
        texts.push_back(b.isNull() ? QByteArray() : b.toString().toUtf8());
        values.push_back(b.isNull() ? nullptr : texts.back().constData());
    }
    const QByteArray query = sql.toUtf8();
    const qint64 deadline = nowMs() + statementMs_;
    auto lost = [&](const QString& why) {
        r.problem = why.isEmpty()
                        ? QStringLiteral("no answer within %1 s").arg(statementMs_ / 1000.0)
                        : why;
        problem_ = r.problem;
        close();  // the server rolls back what it held when it sees the connection gone
        return r;
    };
    if (!PQsendQueryParams(conn_, query.constData(), static_cast<int>(values.size()), nullptr,
                           values.data(), nullptr, nullptr, 0)) {
        return lost(text(PQerrorMessage(conn_)));
    }
    for (;;) {
        const int flushed = PQflush(conn_);
        if (flushed < 0) {
            return lost(text(PQerrorMessage(conn_)));
        }
        if (flushed == 0) {
            break;
        }
        if (!waitFor(POLLOUT, deadline)) {
            return lost(problem_);
        }
    }
    problem_.clear();
    for (;;) {
        while (PQisBusy(conn_)) {
            if (!waitFor(POLLIN, deadline)) {
                return lost(problem_);
            }
            if (!PQconsumeInput(conn_)) {
                return lost(text(PQerrorMessage(conn_)));
            }
        }
        PGresult* res = PQgetResult(conn_);
        if (!res) {
            break;
        }
        const ExecStatusType status = PQresultStatus(res);
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            r.ok = r.problem.isEmpty();
            for (int row = 0; row < PQntuples(res); ++row) {
                std::vector<QVariant> values;
                for (int col = 0; col < PQnfields(res); ++col) {
                    values.push_back(PQgetisnull(res, row, col)
                                         ? QVariant()
                                         : QVariant(QString::fromUtf8(PQgetvalue(res, row, col))));
                }
                r.rows.push_back(std::move(values));
            }
        } else {
            r.ok = false;
            r.problem = text(PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY));
            r.sqlState = QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE));
            if (r.problem.isEmpty()) {
                r.problem = text(PQerrorMessage(conn_));
            }
        }
        PQclear(res);
    }
    if (PQstatus(conn_) == CONNECTION_BAD) {
        return lost(r.problem.isEmpty() ? text(PQerrorMessage(conn_)) : r.problem);
    }
    return r;
}

}  // namespace tarvo
