#pragma once

#include <QLabel>

// A label with its own text and background colours. With a hand cursor it
// acts as a link and reports clicks.
class CColorStatic : public QLabel
{
    Q_OBJECT

public:
    explicit CColorStatic(const QString& text = {}, QWidget* parent = nullptr);

    void setTextColor(const QColor& color);
    void setBkColor(const QColor& color);
    QColor textColor() const { return m_text; }
    QColor bkColor() const { return m_background; }

    // Hand cursor, keyboard focus, and clicked() on a left click, Enter or Space.
    void setClickable(bool clickable);
    bool isClickable() const { return m_clickable; }

    // A blue, underlined, clickable link on the dialog background, named for
    // automation and assistive technology by its text.
    static CColorStatic* makeLink(const QString& text, const QString& objectName, QWidget* parent);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyColors();

    QColor m_text = Qt::black;
    QColor m_background;
    bool m_clickable = false;
};
