#pragma once

#include <QLineEdit>

#include <memory>

// The character filter of a special edit.
class IFormat
{
public:
    virtual ~IFormat() = default;
    virtual bool accepts(QChar c) const = 0;
};

// Accepts the characters of a fixed set.
class BaseFormat : public IFormat
{
public:
    explicit BaseFormat(QString accepted) : m_accepted(std::move(accepted)) {}
    bool accepts(QChar c) const override { return m_accepted.contains(c); }

private:
    QString m_accepted;
};

// Phone numbers: digits and '+'.
class DecimalFormat : public BaseFormat
{
public:
    DecimalFormat() : BaseFormat(QStringLiteral("0123456789+")) {}
};

// A single-line edit whose typed and pasted characters pass a filter; anything
// else shows "Invalid number." and is dropped.
class CSpecialEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit CSpecialEdit(QWidget* parent = nullptr);
    ~CSpecialEdit() override;

    void setFormat(std::unique_ptr<IFormat> format);
    const IFormat* format() const { return m_format.get(); }

    // Pastes text after checking it; returns false when it was refused.
    bool checkedPaste(const QString& clipboardText, bool clipboardHasText = true);

signals:
    // Enter or Return was pressed (the edit never lets a dialog see it).
    void returnPressedInEdit();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void insertFromClipboard();

private:
    void refuse();

    std::unique_ptr<IFormat> m_format;
};
