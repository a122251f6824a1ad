#ifndef VORLIX_TRANSLATIONS_H
#define VORLIX_TRANSLATIONS_H

class QCoreApplication;

// Installs the program's translation and the toolkit's own (its buttons and
// the file dialog) for the user's language, then looks up every text.
// Under the C or POSIX locale nothing is loaded; a language without a
// translation stays English.
void load_translations(QCoreApplication *app);

#endif
