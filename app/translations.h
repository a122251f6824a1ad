#ifndef VORLIX_TRANSLATIONS_H
#define VORLIX_TRANSLATIONS_H

class QCoreApplication;

// Installs the program's translation for the user's language and, only
// together with it, the toolkit's own (its buttons, the file dialog, the
// layout direction) in that same language, then looks up every text. Under
// the C or POSIX locale nothing is loaded; a language without a translation
// of ours stays English, left to right.
void load_translations(QCoreApplication *app);

// Looks every text up in our translation alone, without the application
// object: for what is said when the toolkit could not be started.
void load_translations_without_toolkit();

#endif
