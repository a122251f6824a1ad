#ifndef VORLIX_TRANSLATIONS_H
#define VORLIX_TRANSLATIONS_H

class QCoreApplication;

// Installs the program's translation for the user's language and, only
// together with it, the toolkit's own (its buttons, the file dialog, the
// layout direction) in that same language, then looks up every text. Under
// the C or POSIX locale nothing is loaded; a language without a translation
// of ours stays English, left to right.
void load_translations(QCoreApplication *app);

#endif
