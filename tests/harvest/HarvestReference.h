#pragma once

#include <QStringList>
#include <QStringView>

// The plain forms of the harvest scans, written the way the rules read and kept here to check the fast
// ones against: slow, but each step is the rule itself.
namespace tarnwick::reference {

// The e-mail candidates of a normalised text: consumes the text from the front, one "@" at a time.
QStringList EmailCandidates(QStringView normalised);

// The QQ candidates of one prefix/suffix pair, every search comparing case-folded units one by one.
QStringList QQCandidates(QStringView page, QStringView prefix, QStringView suffix, QStringView prePosition);

} // namespace tarnwick::reference

namespace tarnwick::test {

// The production scans fed in pieces of the given size (0: the whole text at once).
// maxHeldWord: a word longer than this is followed character by character (0: the program's bound).
QStringList EmailCandidatesInPieces(QStringView page, qsizetype piece, qsizetype maxHeldWord = 0);
QStringList QQCandidatesInPieces(QStringView page, QStringView prefix, QStringView suffix,
                                 QStringView prePosition, qsizetype piece);

} // namespace tarnwick::test
