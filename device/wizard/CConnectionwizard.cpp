#include "CConnectionwizard.h"

#include "CConnection.h"
#include "CGatewayDialog.h"
#include "app/controls/SupportLinks.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/Theme.h"
#include "app/core/AppState.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor kInk(0x33, 0x3d, 0x4f);

void drawMonitor(QPainter& p, const QRectF& r, const QColor& screen)
{
    const QRectF body(r.left(), r.top(), r.width(), r.height() * 0.74);
    p.setPen(QPen(kInk, 1.4));
    p.setBrush(QColor(0xdc, 0xe2, 0xec));
    p.drawRoundedRect(body, 3, 3);
    p.setBrush(screen);
    p.drawRect(body.adjusted(4, 4, -4, -4));
    p.setBrush(QColor(0xdc, 0xe2, 0xec));
    const qreal cx = r.center().x();
    p.drawRect(QRectF(cx - r.width() * 0.08, body.bottom(), r.width() * 0.16, r.height() * 0.14));
    p.drawRoundedRect(
        QRectF(cx - r.width() * 0.28, r.bottom() - r.height() * 0.12, r.width() * 0.56, r.height() * 0.12), 2, 2);
}

void drawGlyph(QPainter& p, Theme::Glyph glyph, const QRect& r)
{
    p.drawPixmap(r, Theme::glyphIcon(glyph).pixmap(r.size()));
}

// The pictures beside the steps, drawn so they need no image files.
QPixmap stepPicture(int id)
{
    const QSize size(96, 64);
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (id) {
    case 155: // handset and computer
        drawMonitor(p, QRectF(34, 6, 58, 52), QColor(0x9c, 0xc3, 0xf0));
        drawGlyph(p, Theme::Glyph::Phone, QRect(0, 8, 40, 52));
        break;
    case 156: { // driver disc for the handset
        const QPointF c(34, 32);
        p.setPen(QPen(kInk, 1.4));
        QRadialGradient shine(c, 28);
        shine.setColorAt(0, QColor(0xf4, 0xf6, 0xfb));
        shine.setColorAt(1, QColor(0xb8, 0xc8, 0xe8));
        p.setBrush(shine);
        p.drawEllipse(c, 27, 27);
        p.setBrush(QColor(0xf1, 0xf4, 0xfa));
        p.drawEllipse(c, 7, 7);
        drawGlyph(p, Theme::Glyph::Phone, QRect(58, 10, 36, 48));
        break;
    }
    case 158: { // USB cable from handset to computer
        drawGlyph(p, Theme::Glyph::Phone, QRect(0, 10, 36, 48));
        drawMonitor(p, QRectF(50, 8, 42, 42), QColor(0x9c, 0xc3, 0xf0));
        QPainterPath cable;
        cable.moveTo(24, 56);
        cable.cubicTo(30, 64, 54, 64, 60, 54);
        p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(cable);
        break;
    }
    case 177: { // the desktop software running
        drawMonitor(p, QRectF(14, 4, 68, 58), Qt::white);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x6e, 0xc8));
        p.drawRect(QRectF(18, 8, 60, 8));
        drawGlyph(p, Theme::Glyph::Phone, QRect(22, 18, 18, 24));
        p.setPen(QPen(QColor(0x2e, 0x9e, 0x4f), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF{QPointF(48, 30), QPointF(56, 38), QPointF(70, 22)});
        break;
    }
    }
    return pm;
}

QLabel* pictureLabel(QWidget* parent, int id, const QString& name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::number(id));
    l->setAccessibleName(name);
    l->setPixmap(stepPicture(id));
    l->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    return l;
}

QLabel* textLabel(QWidget* parent, int id, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::number(id));
    l->setAccessibleName(text);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

} // namespace

CConnectionwizard::CConnectionwizard(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("136"));
    setWindowTitle(QStringLiteral("Mobile Device Connection Steps..."));
    Theme::applyDialogLook(this);

    auto* intro = textLabel(
        this, 1050,
        QStringLiteral("A BlackBerry™ mobile phone Device is required to send message from your computer using Ulmex "
                       "Veva SMS Software for BlackBerry™ Phones. To connect your BlackBerry™ mobile follow the steps "
                       "given below or to review the feature in offline mode click on 'Continue without Device "
                       "Search...' button on device detection screen: "));
    const QStringList stepTexts = {
        QStringLiteral("Please make sure that you have properly installed the drivers of BlackBerry™ mobile device for "
                       "sending text messages using Ulmex Veva SMS Software for BlackBerry™ Phones. To install the "
                       "drivers, use CD/DVD that was supplied by your BlackBerry™ Mobile device manufacturer "
                       "(generally comes in the box of your BlackBerry™ Mobile Phone, when you purchase it) or "
                       "BlackBerry™ Software and Drivers may also be available on BlackBerry™ support and downloads "
                       "website. For example, you should install BlackBerry™ Desktop Manager™ first to connect your "
                       "mobile phone to your PC."),
        QStringLiteral("Please Connect your BlackBerry™ Mobile Phone Device to your PC through USB port using the USB "
                       "Connection Cable (generally comes with your Mobile Phones when you purchase it)."),
        QStringLiteral("Please make sure that BlackBerry™ Desktop Manager™ must be in running in order to establish "
                       "the connection between BlackBerry™ mobile device and Ulmex Veva SMS Software."),
    };
    const int stepIds[] = {1051, 1052, 1097};
    const int pictureIds[] = {156, 158, 177};
    const QStringList pictureNames = {QStringLiteral("Install the drivers"), QStringLiteral("Connect the USB cable"),
                                      QStringLiteral("Run Desktop Manager")};

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(14);
    grid->addWidget(pictureLabel(this, 155, QStringLiteral("Handset and computer")), 0, 0, 1, 2);
    grid->addWidget(intro, 0, 2);
    for (int i = 0; i < 3; ++i) {
        const QString stepName = QStringLiteral("Step : %1").arg(i + 1);
        auto* step = new QLabel(stepName, this);
        step->setObjectName(stepName);
        step->setAccessibleName(stepName);
        step->setFont(Theme::headingFont());
        step->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(step, i + 1, 0);
        grid->addWidget(pictureLabel(this, pictureIds[i], pictureNames[i]), i + 1, 1);
        grid->addWidget(textLabel(this, stepIds[i], stepTexts[i]), i + 1, 2);
    }
    grid->setColumnStretch(2, 1);

    auto* help =
        CColorStatic::makeLink(QStringLiteral("Need help? Click here to contact us."), QStringLiteral("1069"), this);
    connect(help, &CColorStatic::clicked, this, [this] { Support::openSupportMail(this); });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    ok->setFocus(); // Enter closes the steps rather than opening the link
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // The third way out: no handset and no modem, an SMS gateway on the network.
    auto* gateway = new QPushButton(QStringLiteral("Send through an SMS &gateway..."), this);
    gateway->setObjectName(QStringLiteral("gateway"));
    gateway->setAccessibleName(QStringLiteral("Send through an SMS gateway"));
    connect(gateway, &QPushButton::clicked, this, [this] { done(GatewayChosen); });
    // Tab reads the row as it stands: the link, the gateway, OK.
    QWidget::setTabOrder(help, gateway);
    QWidget::setTabOrder(gateway, ok);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(help);
    bottom->addStretch();
    bottom->addWidget(gateway);
    bottom->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(bottom);
    resize(640, 430);
}

bool runConnectionWizard(QWidget* parent, std::function<void()> hideStatusLine)
{
    CConnectionwizard steps(parent);
    const int choice = steps.exec();
    if (choice == CConnectionwizard::GatewayChosen) {
        if (hideStatusLine)
            hideStatusLine();
        runGatewayDialog(parent);
    } else if (choice == QDialog::Accepted) {
        if (hideStatusLine)
            hideStatusLine();
        CConnection connection(parent);
        connection.exec();
        // The scan chose a modem or a handset, or nothing: the gateway is not the device any more.
        GatewaySelection::clear();
    }
    g_bStartPacketSent = false;
    return g_bDeviceSelected;
}
