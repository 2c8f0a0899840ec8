#pragma once

#include <QStringList>
#include <optional>
#include <vector>

#include "history/postgres_store.h"
#include "history/sqlite_store.h"

namespace tarvo {

// Sends what waits in the local file to the central history, the memory clears first (a drop
// they excuse is then not flagged there). A reading the server refuses for what it holds is
// set aside here with the reason and the others still go.
class HistorySync {
  public:
    HistorySync(SqliteStore& local, PostgresStore& central) : local_(local), central_(central) {}

    // The readings sent, with the comparison the central history made; nothing when it
    // could not be reached or the file not read: see problem().
    std::optional<std::vector<StoredReading>> push();
    const QString& problem() const { return problem_; }
    // The readings set aside by the last push, each "serial at time: reason".
    const QStringList& setAside() const { return setAside_; }

  private:
    SqliteStore& local_;
    PostgresStore& central_;
    QString problem_;
    QStringList setAside_;
};

}  // namespace tarvo
