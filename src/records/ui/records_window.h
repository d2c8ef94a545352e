#pragma once
// "生产记录": the records table with its filters and three charts (pass and fail per hour, failures
// by stage, the oscillator delta of each chip of one model over time). It reads the database on a
// connection of its own and follows the recorder while chips are burnt.
#include "records/export.h"
#include "records/station/store.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QTableView;
class QTimer;

class QChartView;

namespace kelvor::records {

class Recorder;
class RecordsTableModel;

class RecordsWindow : public QWidget {
    Q_OBJECT
public:
    // `databasePath` empty: records are off, and the window says so.
    RecordsWindow(const QString& databasePath, QWidget* parent = nullptr);
    ~RecordsWindow() override;

    // Reads the records again with the filters as they stand.
    void reload();
    // Reloads a moment after the last of a burst of new records.
    void follow(const Recorder& recorder);

    int rowCount() const;
    const ChartSeries& series() const { return series_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    RecordFilter filter() const;
    void fillModels();
    void drawCharts(const std::vector<ChipRecord>& rows);

    QString path_;
    RecordStore store_;
    QComboBox* range_ = nullptr;
    QComboBox* model_ = nullptr;
    QComboBox* verdict_ = nullptr;
    QLabel* status_ = nullptr;
    QTableView* table_ = nullptr;
    RecordsTableModel* rows_ = nullptr;
    QChartView* perHour_ = nullptr;
    QChartView* failures_ = nullptr;
    QChartView* drift_ = nullptr;
    QTimer* pending_ = nullptr;
    ChartSeries series_;
};

} // namespace kelvor::records
