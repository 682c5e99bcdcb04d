#include "records/record_feed.h"

#include <memory>

#include "records/record_store.h"

namespace yukt::records {
namespace {

constexpr int kIdPage = 500;

std::optional<Record> LoadOrFail(RecordStore& store, qint64 id, QString* error) {
    std::optional<Record> r = store.Load(id);
    if (!r && error) *error = store.LastError();
    return r;
}

}  // namespace

RecordFeed FeedOfIds(RecordStore& store, const QList<qint64>& ids) {
    auto at = std::make_shared<qsizetype>(0);
    return [&store, ids, at](QString* error) -> std::optional<Record> {
        if (*at >= ids.size()) return std::nullopt;
        return LoadOrFail(store, ids[(*at)++], error);
    };
}

RecordFeed FeedOfFilter(RecordStore& store, const JournalFilter& filter) {
    struct Cursor {
        QList<qint64> page;
        qsizetype at = 0;
        qint64 last = 0;
        bool end = false;
    };
    auto c = std::make_shared<Cursor>();
    return [&store, filter, c](QString* error) -> std::optional<Record> {
        if (c->at >= c->page.size()) {
            if (c->end) return std::nullopt;
            std::optional<QList<qint64>> page =
                JournalIdsAfter(store.Database(), filter, c->last, kIdPage, error);
            if (!page) return std::nullopt;
            c->page = *page;
            c->at = 0;
            c->end = c->page.size() < kIdPage;
            if (c->page.isEmpty()) return std::nullopt;
        }
        c->last = c->page[c->at++];
        return LoadOrFail(store, c->last, error);
    };
}

}  // namespace yukt::records
