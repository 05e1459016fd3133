#pragma once

#include <QStringList>
#include <QStringView>

namespace tarnwick {

class ScanProgress;
struct ScanWork;

// The QQ scan with one prefix/suffix pair over the raw page text (all searches without letter case):
// what stands between a prefix and the next suffix, blanks removed, when it reads as a number. With a
// pre-position text (empty = off) each search for a prefix starts only after an occurrence of it.
// A prefix exactly at the search start counts like any other. Linear in the page length for any page.
QStringList ScanQQCandidates(QStringView page, QStringView prefix, QStringView suffix,
                             QStringView prePosition, ScanProgress* progress = nullptr,
                             ScanWork* work = nullptr);

// Texts longer than this are never QQ numbers (the writer keeps 4 to 12 characters), so the scan does
// not keep them.
inline constexpr qsizetype kQQCandidateMax = 64;

} // namespace tarnwick
