#pragma once
// Messages for the user from code that runs without a window. The program routes them into
// message boxes; tools and tests see them on standard error or capture them.

#include <QString>
#include <functional>

namespace UserMessage {

enum Icon { Information, Warning, Critical, Question };

using Handler = std::function<void(Icon icon, const QString& title, const QString& text)>;

// Installs the handler; an empty handler restores the default (standard error).
void SetHandler(Handler handler);
void Show(Icon icon, const QString& title, const QString& text);

}  // namespace UserMessage
