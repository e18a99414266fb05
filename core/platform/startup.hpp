#pragma once

#include <locale>

namespace vexa {

// Starts the platform's socket layer, if it has one to start. A failure shows at the first
// socket operation, as "network error".
void startNetwork();

// Makes the locale the one that paths convert their text with. The locale that the environment
// names (LANG, LC_ALL) is never built: the machine may lack it.
void installPathLocale(const std::locale& locale);

} // namespace vexa
