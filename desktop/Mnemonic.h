#pragma once
// Keyboard mnemonics for captions that come from the message tables: "替换(Y)" and
// "Replace (Y)" become "替换(&Y)" and "Replace (&Y)", a caption that has one ("不替换(&N)")
// stays, and one without gets one from `key`: "&OK" in Latin text, "确定(&O)" otherwise.

#include <QString>

QString WithMnemonic(const QString& caption, QChar key);
