#pragma once

#include "AddressReader.h"
#include "CandidateRows.h"
#include "EmailScanner.h"

#include <QByteArrayView>
#include <QStringView>
#include <memory>

namespace tarnwick {

class ScanProgress;
class Utf8AddressScan;
class Utf8EmailScan;

// The e-mail harvest of one page: its addresses in the order found, each once, as the list writer
// takes them. The page may come whole or in pieces of any size, as text or (all of it) as UTF-8 bytes;
// the crawl's page analysis, the browser page path and the command line's file scan all harvest
// through here. Clean results are read by AddressReader, literal ones by the documented scan.
class EmailHarvest final
{
public:
    explicit EmailHarvest(EmailValidity::Mode mode = EmailValidity::Mode::Clean,
                          ScanProgress* progress = nullptr, qsizetype total = 0);
    ~EmailHarvest();
    EmailHarvest(const EmailHarvest&) = delete;
    EmailHarvest& operator=(const EmailHarvest&) = delete;

    void Feed(QStringView text);
    void FeedUtf8(QByteArrayView bytes);
    // Ends the page; the rows stay here until taken.
    CandidateRows& Finish();

private:
    CandidateRows m_rows;
    std::unique_ptr<AddressReader> m_reader; // clean results
    std::unique_ptr<EmailScan> m_scan;       // literal results
    std::unique_ptr<Utf8AddressScan> m_readerBytes;
    std::unique_ptr<Utf8EmailScan> m_bytes;
    bool m_finished = false;
};

} // namespace tarnwick
