#pragma once

#include <QPlainTextEdit>

// A multi-line edit with Ctrl+A and a length limit. Its text uses CR LF line
// breaks, as messages are stored and counted.
class CMy_Sel_All_Edit : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit CMy_Sel_All_Edit(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    void setMaxLength(int length) { m_maxLength = length; }
    int maxLength() const { return m_maxLength; }

signals:
    void focusLost();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void enforceLimit();

    int m_maxLength = 32767;
    bool m_enforcing = false;
};
