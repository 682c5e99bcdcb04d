#include "records/history_marginal.h"

#include "records/module_history.h"
#include "verify/procedure_library.h"

namespace yukt::records {
namespace {

double MarginalIn(const std::string& dir, const HistoryRecord& r) {
    std::vector<verify::ProcedureError> mistakes;
    for (const verify::MethodologyChoice& c :
         verify::MethodologiesFor(dir, r.model.toStdString(), mistakes))
        if (c.methodology.id == r.methodologyId.toStdString() &&
            c.methodology.revision == r.methodologyRevision)
            return c.methodology.decision.marginal;
    return 0;
}

// The latest record made by a methodology file, if any.
const HistoryRecord* ByMethodology(const ModuleHistory& h) {
    for (auto it = h.records.crbegin(); it != h.records.crend(); ++it)
        if (!it->methodologyId.isEmpty()) return &*it;
    return nullptr;
}

}  // namespace

double HistoryMarginal(const ModuleHistory& h, const std::string& dir) {
    const HistoryRecord* r = ByMethodology(h);
    return r ? MarginalIn(dir, *r) : 0;
}

double HistoryMarginals::Of(const ModuleHistory& h) {
    const HistoryRecord* r = ByMethodology(h);
    if (!r) return 0;
    const QString key = r->model + '\n' + r->methodologyId + '\n' +
                        QString::number(r->methodologyRevision);
    if (const auto it = m_known.constFind(key); it != m_known.constEnd()) return *it;
    return m_known[key] = MarginalIn(m_dir, *r);
}

}  // namespace yukt::records
