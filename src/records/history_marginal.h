// The marginal line of a module's history chart: the share of the limit
// that the methodology its latest record was made by calls close to it.
// The record keeps the methodology's id and revision, not its rules, so the
// share is read from the laboratory's methodologies.
#pragma once

#include <QHash>
#include <QString>
#include <string>

namespace yukt::records {

struct ModuleHistory;

// The share as the methodologies of `dir` have it; 0 when the module's
// records have no methodology, it has no marginal share or its file is no
// longer there.
double HistoryMarginal(const ModuleHistory& h, const std::string& dir);

// The same for many modules (a report): each model's folder read once.
class HistoryMarginals {
  public:
    explicit HistoryMarginals(std::string dir) : m_dir(std::move(dir)) {}
    double Of(const ModuleHistory& h);

  private:
    std::string m_dir;
    QHash<QString, double> m_known;  // "model\nid\nrevision"
};

}  // namespace yukt::records
