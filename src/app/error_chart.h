#pragma once
// The error against the nominal value of each channel of the operation under
// way, with its tolerance band (±limit at each point), drawn as the points
// arrive. A point of another operation starts the chart afresh. Its legend
// is a label of its own, in as many columns as the channels need, so that
// sixteen channels are named whole however small the chart.

#include <QChartView>
#include <QMap>

#include <optional>

#include "verify/plan.h"
#include "verify/point_result.h"
#include "verify/point_table.h"

class QLabel;
class QLineSeries;
class QValueAxis;

namespace yukt {

class TErrorChart : public QChartView {
    Q_OBJECT
  public:
    explicit TErrorChart(QWidget* parent = nullptr);
    void Clear();
    // A measured point (unmeasured ones are not drawn). `span`, when known,
    // frames the axes for the whole operation at its first point, so that
    // they are not laid out again as its points arrive.
    void AddPoint(const verify::PointResult& p, verify::Quantity q,
                  const std::optional<verify::ErrorSpan>& span = std::nullopt);
    // Channels drawn, and the points of one of them.
    int Channels() const { return m_channels.size(); }
    int PointsOf(int channel) const;
    // The legend, for the window to put beside the chart.
    QLabel* Legend() const { return m_legend; }

  private:
    QLineSeries* NewSeries(const QString& name, const QPen& pen);
    void RemoveChannels();
    // The range the points need so far, and the axes set to hold it.
    void Extend(double x, double y);
    void Fit();
    void ShowLegend();

    QString m_operation;
    QMap<int, QLineSeries*> m_channels;
    QLineSeries* m_upper = nullptr;
    QLineSeries* m_lower = nullptr;
    QValueAxis* m_x = nullptr;
    QValueAxis* m_y = nullptr;
    QLabel* m_legend = nullptr;
    double m_xMin = 0, m_xMax = 0, m_yMax = 0;
    bool m_empty = true;
};

}  // namespace yukt
