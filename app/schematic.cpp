#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/main_window.h"

namespace vt::app {
namespace {

constexpr int kLeft = 8;
constexpr int kTop = 30;
constexpr int kRowHeight = 17;
constexpr int kLabelWidth = 40;
constexpr int kCellWidth = 46;
constexpr int kColumns = 8;  // 4 channels x 2 CEs
constexpr int kRows = 12;

QPoint CellCentre(int row, int column) {
    return {kLeft + kLabelWidth + column * kCellWidth + kCellWidth / 2,
            kTop + (row + 1) * kRowHeight + kRowHeight / 2};
}

// A note in red ink with a slightly bent arrow to what it explains.
void Note(QPainter& painter, QPoint text_at, const QString& text, QPoint target) {
    painter.save();
    const QColor ink(200, 20, 20);
    painter.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QFont font = painter.font();
    font.setItalic(true);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(text_at, text);
    const QPoint start = text_at + QPoint(0, -4);
    QPainterPath path(start);
    const QPoint bend((start.x() + target.x()) / 2 + 8, (start.y() + target.y()) / 2 - 10);
    path.quadTo(bend, target);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    const QLineF tail(QPointF(target), path.pointAtPercent(0.9));
    QLineF wing1 = tail, wing2 = tail;
    wing1.setLength(8);
    wing2.setLength(8);
    wing1.setAngle(tail.angle() + 25);
    wing2.setAngle(tail.angle() - 25);
    painter.drawLine(wing1);
    painter.drawLine(wing2);
    painter.restore();
}

int SampleCount(int row, int column) {
    return 10 + (row * 7 + column * 3) % 23;
}

}  // namespace

QPixmap DrawEraseCountSchematic() {
    QPixmap picture(kSchematicWidth, kSchematicHeight);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPixelSize(10);
    painter.setFont(mono);
    painter.setPen(Qt::black);

    painter.drawText(kLeft, kTop, QStringLiteral("Ch/CE"));
    for (int column = 0; column < kColumns; ++column) {
        painter.drawText(kLeft + kLabelWidth + column * kCellWidth, kTop,
                         QStringLiteral("[%1]/[%2]").arg(column % 4).arg(column / 4));
    }
    for (int row = 0; row < kRows; ++row) {
        const int y = kTop + (row + 1) * kRowHeight + 12;
        painter.drawText(kLeft, y, QStringLiteral("%1").arg(row, 4, 10, QLatin1Char('0')));
        for (int column = 0; column < kColumns; ++column) {
            QString cell;
            if (row < 2) {
                cell = QStringLiteral("X");  // the firmware's code blocks hold no count
            } else if (row == 5 && column == 2) {
                cell = QStringLiteral("[ 9]");
            } else {
                cell = QStringLiteral("%1").arg(SampleCount(row, column), 2);
            }
            painter.drawText(kLeft + kLabelWidth + column * kCellWidth, y, cell);
        }
    }
    painter.setPen(QPen(Qt::gray, 1));
    painter.drawLine(kLeft, kTop + 4, kLeft + kLabelWidth + kColumns * kCellWidth, kTop + 4);
    painter.drawLine(kLeft + kLabelWidth - 4, kTop - 12, kLeft + kLabelWidth - 4,
                     kTop + (kRows + 1) * kRowHeight + 2);

    Note(painter, {170, 18}, QStringLiteral("code block"), CellCentre(0, 3) + QPoint(-6, 4));
    Note(painter, {96, 282}, QStringLiteral("bad block"), CellCentre(5, 2) + QPoint(0, 10));
    Note(painter, {8, 260}, QStringLiteral("block No."), {kLeft + 14, CellCentre(10, 0).y() + 6});
    Note(painter, {176, 276},
         QStringLiteral("CH%1/CE%2, block 7: %3").arg(5 % 4).arg(5 / 4).arg(SampleCount(7, 5)),
         CellCentre(7, 5) + QPoint(4, 6));
    painter.setPen(QPen(QColor(200, 20, 20), 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(CellCentre(7, 5) + QPoint(-4, 0), 16, 9);

    // Beyond the part the page shows: how to read one column.
    QFont note = painter.font();
    note.setPixelSize(12);
    painter.setFont(note);
    painter.setPen(QColor(200, 20, 20));
    painter.drawText(QRect(360, 40, 250, 120), Qt::TextWordWrap,
                     QStringLiteral("[channel]/[CE] above each column;\nthe row is the block; the "
                                    "cell is its erase count.\nX: no count kept.\n[n]: a known bad "
                                    "block."));
    return picture;
}

}  // namespace vt::app
