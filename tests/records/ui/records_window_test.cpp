// The records window over a database: its filters select the rows and the series the charts draw,
// and a station whose records are off says so instead of showing an empty history.
#include "records/station/store.h"
#include "records/ui/records_window.h"

#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvor::records {
namespace {

ChipRecord chip(std::int64_t t, const char* model, Verdict v, double delta) {
    ChipRecord r;
    r.in.epochMs = t;
    r.in.timeUtc = "2026-12-11T00:00:00.000Z";
    r.in.timeLocal = "2026-12-11T08:00:00.000+08:00";
    r.in.station = "s";
    r.in.programmer = "simulated";
    r.in.model = model;
    r.in.mode = "online";
    r.verdict = v;
    if (v != Verdict::Pass) r.failCode = 0x08, r.failLine = "芯片校验错误! 5ms";
    r.oscDeltaPct = delta;
    return r;
}

void choose(RecordsWindow& w, const char* box, const QVariant& data) {
    auto* combo = w.findChild<QComboBox*>(QString::fromLatin1(box));
    ASSERT_TRUE(combo);
    const int at = combo->findData(data);
    ASSERT_GE(at, 0) << data.toString().toStdString();
    combo->setCurrentIndex(at);
    emit combo->activated(at);
}

TEST(RecordsWindow, FiltersSelectRowsAndSeries) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.sqlite"));
    {
        RecordStore s;
        std::string error;
        ASSERT_TRUE(s.open(path.toStdString(), RecordStore::Mode::ReadWrite, error)) << error;
        for (auto r : {chip(1, "EP2702", Verdict::Pass, 0.1), chip(2, "EP2702", Verdict::Fail, 0.4),
                       chip(3, "EP27C42", Verdict::Pass, 0.2), chip(4, "EP2702", Verdict::Pass, 0.3)})
            ASSERT_TRUE(s.add(r, error)) << error;
    }
    RecordsWindow w(path);
    EXPECT_EQ(w.rowCount(), 4);
    // Every model shown: the drift is the model with the most chips.
    ASSERT_EQ(w.series().drift.size(), 3u);
    EXPECT_EQ(w.series().failures.at(0).key, "0x08 芯片校验错误!");

    choose(w, "recordsModel", QStringLiteral("EP27C42"));
    EXPECT_EQ(w.rowCount(), 1);
    EXPECT_EQ(w.series().drift.size(), 1u);
    choose(w, "recordsModel", QString());
    choose(w, "recordsVerdict", QStringLiteral("fail"));
    EXPECT_EQ(w.rowCount(), 1);
    // The records are from 1970: the last hour holds none of them.
    choose(w, "recordsVerdict", QString());
    choose(w, "recordsRange", 1);
    EXPECT_EQ(w.rowCount(), 0);
}

TEST(RecordsWindow, SaysWhenThereIsNothingToRead) {
    RecordsWindow off(QString{});
    EXPECT_TRUE(off.findChild<QLabel*>(QStringLiteral("recordsStatus"))->text().contains(QStringLiteral("关闭")));
    QTemporaryDir dir;
    RecordsWindow absent(dir.filePath(QStringLiteral("none.sqlite")));
    EXPECT_EQ(absent.rowCount(), 0);
    EXPECT_TRUE(absent.findChild<QLabel*>(QStringLiteral("recordsStatus"))->text().contains(QStringLiteral("无法读取")));
}

} // namespace
} // namespace kelvor::records
