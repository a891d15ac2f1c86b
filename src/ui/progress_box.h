#pragma once

#include <QWidget>
#include <cstdint>

namespace vantel::ui {

// The run's progress bar: the completed share in blue, the rest in white. Its
// horizontal scale is set in elements, so the run just reports how many
// elements are done.
class ProgressBox : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBox(QWidget* parent = nullptr);

    void setScaleWidth(std::int64_t elements);
    std::int64_t scaleWidth() const { return scaleWidth_; }

    // Blue from 0 to `elements`, white from there to the scale width. Repaints
    // only when the boundary moves by a pixel, so a run of many short elements
    // does not spend its time drawing.
    void fillTo(std::int64_t elements);
    std::int64_t filled() const { return filled_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int boundary() const;

    std::int64_t scaleWidth_ = 1;
    std::int64_t filled_ = 0;
    int paintedBoundary_ = -1;
};

}  // namespace vantel::ui
