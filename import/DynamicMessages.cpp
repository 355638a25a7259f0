#include "DynamicMessages.h"

namespace DynamicMessages {

QString Placeholder(int column)
{
    return QStringLiteral("<COL-%1>").arg(column);
}

std::optional<QString> Compose(const QString& messageTemplate, const QString& column1, int cols,
                               const std::function<std::optional<QString>(int)>& cell)
{
    QString message = messageTemplate;
    message.replace(Placeholder(1), column1);
    for (int k = 2; k <= kMaxPlaceholderColumn && k <= cols; ++k) {
        const std::optional<QString> text = cell(k);
        if (!text)
            return std::nullopt;
        message.replace(Placeholder(k), *text);
    }
    return message;
}

QString CutMessage(const QString& message, int length)
{
    if (message.size() <= length)
        return message;
    // An emoji across the edge is dropped whole rather than halved.
    if (length > 0 && message.at(length - 1).isHighSurrogate())
        --length;
    return message.left(length);
}

QString ProgressText(const QString& message)
{
    if (message.size() <= kProgressMessageLength)
        return message;
    return CutMessage(message, kProgressMessageLength) + QStringLiteral("...");
}

} // namespace DynamicMessages
