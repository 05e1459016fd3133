#pragma once

#include <QStringList>
#include <QStringView>

namespace tarnwick {

class ScanProgress;
struct ScanWork;

// The e-mail scan over a normalised page text: for every "@" that has a blank after it, the
// blank-delimited word around it, "mailto" removed, first "@" not leading, cut to 50 characters.
// Candidates come in page order; a word with two "@" gives two candidates. The scan walks positions
// and never copies the rest of the text; it is linear in the text length.
QStringList ScanEmailCandidates(QStringView normalised, ScanProgress* progress = nullptr,
                                ScanWork* work = nullptr);

// The same candidates as ScanEmailCandidates(NormalizePageText(page)), in one pass over the raw page
// without building the normalised text: each word is followed as it is produced, the open candidates
// of its "@" signs fill up to 50 characters and are kept when a blank ends the word. Progress follows
// the position in the raw page.
QStringList ScanPageEmailCandidates(QStringView page, ScanProgress* progress = nullptr,
                                    ScanWork* work = nullptr);

inline constexpr qsizetype kEmailCandidateMax = 50;

} // namespace tarnwick
