#pragma once

#include <QString>

#include <functional>
#include <optional>

// The mail-merge rules of the Dynamic Message Import Wizard.
namespace DynamicMessages {

inline constexpr int kMaxRows = 50000;
inline constexpr int kMaxMessageLength = 1600;
inline constexpr int kMaxPlaceholderColumn = 10;
inline constexpr int kProgressMessageLength = 160;

// "<COL-k>": exact, upper case, case-sensitive.
QString Placeholder(int column);

// The template with every "<COL-1>" replaced by the raw text of column 1,
// then, for k = 2 to 10 while k <= cols, every "<COL-k>" by cell(k); in that
// order, so text an earlier replacement put in is searched by the later ones.
// Nothing when a cell cannot be converted.
std::optional<QString> Compose(const QString& messageTemplate, const QString& column1, int cols,
                               const std::function<std::optional<QString>(int column)>& cell);

// The first `length` UTF-16 units, never ending inside a surrogate pair.
QString CutMessage(const QString& message, int length = kMaxMessageLength);
// What the progress window shows of a message: the first 160 characters and
// "..." when it is longer.
QString ProgressText(const QString& message);

} // namespace DynamicMessages
