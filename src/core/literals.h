#pragma once

#include <QString>

namespace ph {

// The not-found text of the text helpers and of a missing record field; callers compare
// against it, so there is exactly one.
inline const QString kNothing = QStringLiteral("Nothing");
inline constexpr char kNothingBytes[] = "Nothing";

// Cell 4 after a validation: note the blank between the two characters.
inline const QString kSuccessText = QStringLiteral("成 功");
inline const QString kFailureText = QStringLiteral("失 败");

}  // namespace ph
