// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

class QTextLayout;

namespace tessaline {

// The status line. When it wraps, a path may break after each of its slashes, and a word
// longer than a line is broken where the line ends instead of running out of sight;
// heightForWidth tells the height that the whole text needs.
class StatusLabel : public QLabel {
public:
    using QLabel::QLabel;

    bool hasHeightForWidth() const override { return wordWrap(); }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Lays the text out in lines of this width; returns their height.
    qreal layOut(QTextLayout& layout, qreal width) const;
};

} // namespace tessaline
