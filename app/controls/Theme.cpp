#include "Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace Theme {

namespace {

struct Fonts
{
    QFont heading, body, link, dialog;
};

Fonts& fonts()
{
    static Fonts f = [] {
        const QStringList families{QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"),
                                   QStringLiteral("Liberation Sans"), QStringLiteral("sans-serif")};
        Fonts out;
        auto make = [&](int pixelSize, bool bold, bool underline) {
            QFont font;
            font.setFamilies(families);
            font.setStyleHint(QFont::SansSerif);
            font.setPixelSize(pixelSize);
            font.setBold(bold);
            font.setUnderline(underline);
            return font;
        };
        out.heading = make(13, true, false);
        out.body = make(14, false, false);
        out.link = make(13, true, true);
        out.dialog = make(11, false, false); // 8 pt at 96 dpi
        return out;
    }();
    return f;
}

const QColor kInk(0x1f, 0x3b, 0x6e);
const QColor kAccent(0x2f, 0x7d, 0xd1);

void strokeRoundRect(QPainter& p, const QRectF& r, qreal radius, const QColor& fill, const QColor& line)
{
    p.setPen(QPen(line, 1.6));
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
}

void drawLetter(QPainter& p, const QRectF& r, const QString& text, const QColor& fill, qreal scale = 0.62)
{
    strokeRoundRect(p, r.adjusted(2, 2, -2, -2), r.width() * 0.22, fill, fill.darker(130));
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    f.setBold(true);
    f.setPixelSize(int(r.height() * scale));
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, text);
}

void drawEnvelope(QPainter& p, const QRectF& r, const QColor& fill)
{
    const QRectF e = r.adjusted(r.width() * 0.08, r.height() * 0.22, -r.width() * 0.08, -r.height() * 0.22);
    strokeRoundRect(p, e, 2, fill, kInk);
    QPainterPath flap;
    flap.moveTo(e.topLeft());
    flap.lineTo(e.center().x(), e.top() + e.height() * 0.55);
    flap.lineTo(e.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void drawPhone(QPainter& p, const QRectF& r)
{
    const QRectF body(r.left() + r.width() * 0.28, r.top() + r.height() * 0.06, r.width() * 0.44, r.height() * 0.88);
    strokeRoundRect(p, body, r.width() * 0.07, QColor(0x33, 0x3a, 0x44), QColor(0x1b, 0x1f, 0x25));
    const QRectF screen =
        body.adjusted(body.width() * 0.12, body.height() * 0.1, -body.width() * 0.12, -body.height() * 0.42);
    p.setPen(Qt::NoPen);
    QLinearGradient g(screen.topLeft(), screen.bottomRight());
    g.setColorAt(0, QColor(0x8e, 0xc8, 0xff));
    g.setColorAt(1, kAccent);
    p.setBrush(g);
    p.drawRect(screen);
    // A keyboard of small dots, as on a handset with keys.
    p.setBrush(QColor(0xc9, 0xd3, 0xde));
    const qreal dot = body.width() * 0.1;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col) {
            const QPointF c(screen.left() + (col + 0.5) * screen.width() / 4,
                            screen.bottom() + body.height() * 0.08 + row * dot * 1.7);
            p.drawEllipse(c, dot * 0.45, dot * 0.45);
        }
    }
}

void drawBubble(QPainter& p, const QRectF& r, const QColor& fill)
{
    QPainterPath path;
    path.addRoundedRect(r, r.height() * 0.3, r.height() * 0.3);
    QPainterPath tail;
    tail.moveTo(r.left() + r.width() * 0.2, r.bottom() - 1);
    tail.lineTo(r.left() + r.width() * 0.1, r.bottom() + r.height() * 0.35);
    tail.lineTo(r.left() + r.width() * 0.42, r.bottom() - 1);
    path = path.united(tail);
    p.setPen(QPen(fill.darker(140), 1.2));
    p.setBrush(fill);
    p.drawPath(path);
}

void paintGlyph(QPainter& p, Glyph glyph, const QRectF& r)
{
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = r.width(), h = r.height();
    switch (glyph) {
    case Glyph::Contacts: {
        strokeRoundRect(p, r.adjusted(w * 0.12, h * 0.08, -w * 0.12, -h * 0.08), 3, QColor(0xff, 0xf4, 0xd6),
                        QColor(0xb0, 0x8a, 0x2e));
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(r.center().x(), r.top() + h * 0.38), w * 0.13, w * 0.13);
        p.drawPie(QRectF(r.center().x() - w * 0.24, r.top() + h * 0.55, w * 0.48, h * 0.5), 0, 180 * 16);
        break;
    }
    case Glyph::Spreadsheet: {
        const QRectF s = r.adjusted(w * 0.1, h * 0.12, -w * 0.1, -h * 0.12);
        strokeRoundRect(p, s, 2, Qt::white, QColor(0x1d, 0x6f, 0x42));
        p.setPen(QPen(QColor(0x1d, 0x6f, 0x42), 1));
        for (int i = 1; i < 4; ++i)
            p.drawLine(QPointF(s.left(), s.top() + i * s.height() / 4),
                       QPointF(s.right(), s.top() + i * s.height() / 4));
        p.drawLine(QPointF(s.left() + s.width() / 3, s.top()), QPointF(s.left() + s.width() / 3, s.bottom()));
        p.fillRect(QRectF(s.left(), s.top(), s.width(), s.height() / 4), QColor(0x1d, 0x6f, 0x42));
        break;
    }
    case Glyph::Phone:
        drawPhone(p, r);
        break;
    case Glyph::Send: {
        QPainterPath plane;
        plane.moveTo(r.left() + w * 0.08, r.top() + h * 0.45);
        plane.lineTo(r.right() - w * 0.08, r.top() + h * 0.12);
        plane.lineTo(r.left() + w * 0.62, r.bottom() - h * 0.1);
        plane.lineTo(r.left() + w * 0.46, r.top() + h * 0.58);
        plane.closeSubpath();
        p.setPen(QPen(kInk, 1.4));
        p.setBrush(QColor(0x4c, 0xaf, 0x50));
        p.drawPath(plane);
        p.drawLine(QPointF(r.left() + w * 0.46, r.top() + h * 0.58), QPointF(r.right() - w * 0.08, r.top() + h * 0.12));
        break;
    }
    case Glyph::Reset: {
        p.setPen(QPen(QColor(0xe0, 0x8a, 0x1e), w * 0.11, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF arc = r.adjusted(w * 0.2, h * 0.2, -w * 0.2, -h * 0.2);
        p.drawArc(arc, 60 * 16, 280 * 16);
        QPainterPath head;
        const QPointF tip(arc.center().x() + arc.width() * 0.25, arc.top() - h * 0.02);
        head.moveTo(tip + QPointF(w * 0.14, 0));
        head.lineTo(tip + QPointF(-w * 0.05, -h * 0.14));
        head.lineTo(tip + QPointF(-w * 0.03, h * 0.16));
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xe0, 0x8a, 0x1e));
        p.drawPath(head);
        break;
    }
    case Glyph::SentItems:
        drawEnvelope(p, r.adjusted(0, -h * 0.08, 0, -h * 0.08), QColor(0xff, 0xff, 0xff));
        p.setPen(QPen(QColor(0x4c, 0xaf, 0x50), w * 0.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF{QPointF(r.left() + w * 0.55, r.bottom() - h * 0.2),
                                 QPointF(r.left() + w * 0.68, r.bottom() - h * 0.08),
                                 QPointF(r.right() - w * 0.04, r.bottom() - h * 0.36)});
        break;
    case Glyph::About:
    case Glyph::Information:
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(r.adjusted(w * 0.08, h * 0.08, -w * 0.08, -h * 0.08));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(r.center().x(), r.top() + h * 0.3), w * 0.07, w * 0.07);
        p.drawRoundedRect(QRectF(r.center().x() - w * 0.06, r.top() + h * 0.42, w * 0.12, h * 0.36), 2, 2);
        break;
    case Glyph::Help: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x7b, 0x5c, 0xc4));
        p.drawEllipse(r.adjusted(w * 0.08, h * 0.08, -w * 0.08, -h * 0.08));
        QFont f;
        f.setBold(true);
        f.setPixelSize(int(h * 0.6));
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Glyph::Exit: {
        p.setPen(QPen(QColor(0xd0, 0x3b, 0x3b), w * 0.11, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF arc = r.adjusted(w * 0.2, h * 0.22, -w * 0.2, -h * 0.18);
        p.drawArc(arc, 120 * 16, 300 * 16);
        p.drawLine(QPointF(r.center().x(), r.top() + h * 0.12), QPointF(r.center().x(), r.center().y()));
        break;
    }
    case Glyph::Mail:
        drawEnvelope(p, r, QColor(0xfa, 0xfb, 0xff));
        break;
    case Glyph::Facebook:
        drawLetter(p, r, QStringLiteral("f"), QColor(0x3b, 0x59, 0x98), 0.75);
        break;
    case Glyph::Twitter:
        drawLetter(p, r, QStringLiteral("t"), QColor(0x1d, 0xa1, 0xf2), 0.7);
        break;
    case Glyph::GooglePlus:
        drawLetter(p, r, QStringLiteral("g+"), QColor(0xdb, 0x44, 0x37), 0.5);
        break;
    case Glyph::Like: {
        drawLetter(p, r, QString(), QColor(0x3b, 0x59, 0x98));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(r.left() + w * 0.22, r.top() + h * 0.46, w * 0.12, h * 0.3));
        QPainterPath hand;
        hand.moveTo(r.left() + w * 0.38, r.top() + h * 0.46);
        hand.lineTo(r.left() + w * 0.52, r.top() + h * 0.2);
        hand.lineTo(r.left() + w * 0.6, r.top() + h * 0.26);
        hand.lineTo(r.left() + w * 0.56, r.top() + h * 0.42);
        hand.lineTo(r.left() + w * 0.78, r.top() + h * 0.42);
        hand.lineTo(r.left() + w * 0.74, r.top() + h * 0.76);
        hand.lineTo(r.left() + w * 0.38, r.top() + h * 0.76);
        hand.closeSubpath();
        p.drawPath(hand);
        break;
    }
    case Glyph::Templates: {
        strokeRoundRect(p, r.adjusted(w * 0.18, h * 0.08, -w * 0.18, -h * 0.08), 2, Qt::white, kInk);
        p.setPen(QPen(kAccent, 1.4));
        for (int i = 0; i < 4; ++i) {
            const qreal y = r.top() + h * (0.28 + i * 0.15);
            p.drawLine(QPointF(r.left() + w * 0.3, y), QPointF(r.right() - w * (i == 3 ? 0.45 : 0.3), y));
        }
        break;
    }
    case Glyph::Exclusion: {
        p.setPen(QPen(QColor(0xd0, 0x3b, 0x3b), w * 0.1));
        p.setBrush(Qt::white);
        const QRectF c = r.adjusted(w * 0.12, h * 0.12, -w * 0.12, -h * 0.12);
        p.drawEllipse(c);
        p.drawLine(QPointF(c.left() + c.width() * 0.2, c.top() + c.height() * 0.2),
                   QPointF(c.right() - c.width() * 0.2, c.bottom() - c.height() * 0.2));
        break;
    }
    }
}

QPixmap glyphPixmap(Glyph glyph, int size, qreal dpr)
{
    QPixmap pm(QSize(size, size) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paintGlyph(p, glyph, QRectF(0, 0, size, size));
    return pm;
}

} // namespace

QColor background()
{
    return QColor(241, 244, 250);
}

QColor linkColor()
{
    return QColor(0, 0, 255);
}

QColor alertColor()
{
    return QColor(255, 0, 0);
}

void createFonts()
{
    fonts();
}

QFont headingFont()
{
    return fonts().heading;
}

QFont bodyFont()
{
    return fonts().body;
}

QFont linkFont()
{
    return fonts().link;
}

QFont dialogFont()
{
    return fonts().dialog;
}

void applyDialogLook(QWidget* dialog)
{
    dialog->setWindowIcon(appIcon());
    dialog->setFont(dialogFont());
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, background());
    pal.setColor(QPalette::WindowText, Qt::black);
    dialog->setPalette(pal);
    dialog->setAutoFillBackground(true);
}

QIcon appIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            QPixmap pm(size, size);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const QRectF r(0, 0, size, size);
            drawPhone(p, r.adjusted(-size * 0.1, size * 0.05, -size * 0.1, 0));
            drawBubble(p, QRectF(size * 0.5, size * 0.06, size * 0.46, size * 0.32), QColor(0x4c, 0xaf, 0x50));
            p.end();
            i.addPixmap(pm);
        }
        return i;
    }();
    return icon;
}

QIcon glyphIcon(Glyph glyph)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        for (qreal dpr : {1.0, 2.0})
            icon.addPixmap(glyphPixmap(glyph, size, dpr));
    return icon;
}

QPixmap banner(const QSize& size)
{
    QPixmap pm(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(QPointF(0, 0), QSizeF(size));
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(0x12, 0x3a, 0x7a));
    g.setColorAt(0.6, QColor(0x1f, 0x5f, 0xb4));
    g.setColorAt(1, QColor(0x3f, 0x9b, 0xe8));
    p.fillRect(r, g);

    // Soft arcs in the background.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 18));
    p.drawEllipse(QPointF(r.width() * 0.82, r.height() * 1.1), r.height() * 1.3, r.height() * 1.3);
    p.drawEllipse(QPointF(r.width() * 0.95, -r.height() * 0.2), r.height() * 0.8, r.height() * 0.8);

    const qreal h = r.height();
    drawPhone(p, QRectF(h * 0.15, h * 0.08, h * 0.84, h * 0.84));
    drawBubble(p, QRectF(h * 0.78, h * 0.12, h * 0.5, h * 0.26), QColor(0x4c, 0xaf, 0x50));
    drawBubble(p, QRectF(h * 0.86, h * 0.46, h * 0.42, h * 0.22), QColor(0xff, 0xc1, 0x07));

    QFont title;
    title.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    title.setBold(true);
    title.setPixelSize(int(h * 0.3));
    p.setFont(title);
    p.setPen(Qt::white);
    const qreal textLeft = h * 1.5;
    p.drawText(QRectF(textLeft, h * 0.12, r.width() - textLeft, h * 0.42), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Ulmex Veva SMS"));
    QFont sub = title;
    sub.setBold(false);
    sub.setPixelSize(int(h * 0.15));
    p.setFont(sub);
    p.setPen(QColor(0xdc, 0xea, 0xff));
    p.drawText(QRectF(textLeft, h * 0.54, r.width() - textLeft, h * 0.3), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Bulk and personalised text messages through your mobile phone"));
    return pm;
}

void makeBitmapButton(QAbstractButton* button, Glyph glyph, const QString& caption)
{
    button->setText(caption);
    button->setIcon(glyphIcon(glyph));
    button->setIconSize(QSize(24, 24));
    button->setAccessibleName(withoutMnemonic(caption));
    button->setProperty("bitmapButton", true);
    button->setCursor(Qt::PointingHandCursor);
}

QString withoutMnemonic(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&') && ++i >= caption.size())
            break;
        plain.append(caption.at(i));
    }
    return plain;
}

void speakText(QLabel* label, const QString& role)
{
    // Without a name of its own a label is named by its text, and every
    // setText() tells assistive technology that the name changed.
    label->setAccessibleName(QString());
    label->setAccessibleDescription(role);
}

} // namespace Theme
