#pragma once

// For the exclusion wizard's source files only.

#include <QString>

namespace ExclusionWizard {

inline const QString kAvailableEmpty = QStringLiteral("Available list is empty.");
inline const QString kSelectAvailable = QStringLiteral("Please select a record from the available list to continue.");
inline const QString kNumbersEmpty = QStringLiteral("Exclusion number list is empty.");

inline bool isBlank(const QString& s)
{
    return s.trimmed().isEmpty();
}

} // namespace ExclusionWizard
