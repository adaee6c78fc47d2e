#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/main_window.h"
#include "views/erase_count_schematic.h"

namespace vt::app {
namespace {

QPoint At(schematic::Point point) {
    return {point.x, point.y};
}

QString Text(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A note in red ink with a slightly bent arrow to what it explains.
void DrawNote(QPainter& painter, const schematic::Note& note) {
    painter.save();
    const QColor ink(200, 20, 20);
    painter.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QFont font = painter.font();
    font.setItalic(true);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(At(note.text_at), Text(note.text));
    const auto arrow = schematic::ArrowOf(note);
    QPainterPath path(At(arrow.start));
    path.quadTo(At(arrow.control), At(arrow.target));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    const QLineF tail(QPointF(At(arrow.target)), path.pointAtPercent(0.9));
    QLineF wing1 = tail, wing2 = tail;
    wing1.setLength(8);
    wing2.setLength(8);
    wing1.setAngle(tail.angle() + 25);
    wing2.setAngle(tail.angle() - 25);
    painter.drawLine(wing1);
    painter.drawLine(wing2);
    painter.restore();
}

}  // namespace

QPixmap DrawEraseCountSchematic() {
    const auto& picture = schematic::EraseCountPicture();
    QPixmap pixmap(kSchematicWidth, kSchematicHeight);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPixelSize(schematic::kTableFontPixels);
    painter.setFont(mono);
    painter.setPen(Qt::black);
    for (const auto& text : picture.table) painter.drawText(At(text.at), Text(text.text));
    painter.setPen(QPen(Qt::gray, 1));
    painter.drawLine(At(picture.rule_from), At(picture.rule_to));
    painter.drawLine(At(picture.column_from), At(picture.column_to));

    for (const auto& note : picture.notes) DrawNote(painter, note);
    painter.setPen(QPen(QColor(200, 20, 20), 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(At(picture.ring_centre), picture.ring_rx, picture.ring_ry);

    QFont note = painter.font();
    note.setPixelSize(schematic::kParagraphFontPixels);
    painter.setFont(note);
    painter.setPen(QColor(200, 20, 20));
    painter.drawText(QRect(picture.paragraph_left, picture.paragraph_top, picture.paragraph_width,
                           picture.paragraph_height),
                     Qt::TextWordWrap, Text(picture.paragraph));
    return pixmap;
}

}  // namespace vt::app
