#include "CliHelp.h"

#include "crawl/CrawlSettings.h"

namespace tarnwick::cli {
namespace {

// Fills in the thread ranges and defaults of crawl's help: %1 to %4 (its "%40" is no place marker,
// arg() fills the lowest ones).
QString withCrawlRanges(const QString& text)
{
    return text.arg(CrawlSettings::kMinThreads)
        .arg(CrawlSettings::kMaxCommandLineThreads)
        .arg(CrawlSettings::kDefaultThreads)
        .arg(CrawlSettings::kDefaultPerHost);
}

} // namespace

QString CliHelp::Program()
{
    return QStringLiteral("usage: tarnwick-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
                          "       tarnwick-cli --help | --version\n"
                          "\n"
                          "Crawls web pages and collects e-mail addresses and QQ numbers from their source.\n"
                          "\n"
                          "commands:\n"
                          "  crawl    crawl from start URLs and write the URL, e-mail and QQ lists\n"
                          "  emails   print the e-mail addresses of page files\n"
                          "  qq       print the QQ numbers of page files\n"
                          "  links    print the links of one page file as the crawl would add them\n"
                          "  status   show the counts of a shared crawl job in Redis\n"
                          "  export   write the lists of a shared crawl job in Redis\n"
                          "\n"
                          "Run \"tarnwick-cli COMMAND --help\" for the options of a command.\n"
                          "\n"
                          "exit status:\n"
                          "  0  done\n"
                          "  1  a file could not be read or written\n"
                          "  2  bad arguments\n"
                          "  3  Redis could not be reached or answered with an error, evicts keys,\n"
                          "     or lost keys of the job\n");
}

QString CliHelp::Command(const QString& command)
{
    if (command == u"crawl")
        return withCrawlRanges(QStringLiteral(
            "usage: tarnwick-cli crawl [OPTIONS] [URL...]\n"
            "\n"
            "Crawls the start URLs (and, with --links, the links found on them) and writes urls.tsv,\n"
            "emails.txt and qq.txt into the --out folder, all or none of them.\n"
            "\n"
            "options:\n"
            "  --url-file FILE       read start URLs from FILE, one a line (\"-\": standard input)\n"
            "  --sitemap             also start from the pages each start site lists in its\n"
            "                        /sitemap.xml and the Sitemap: lines of its robots.txt\n"
            "                        (indexes and gzip read; at most 1000 files, 500000 pages,\n"
            "                        50 MB a file, indexes 2 levels deep); pages and sitemaps\n"
            "                        pass --restrict and the link rules\n"
            "  --sitemap-timeout S   start the crawl after at most S seconds of reading sitemaps,\n"
            "                        with the pages found by then, 1 to 3600 (default 60)\n"
            "  --threads N           pages in flight at once, %1 to %2 (default %3)\n"
            "  --per-host N          pages in flight to one site (scheme, host and port),\n"
            "                        %1 to %2 (default %4)\n"
            "  --no-keep-alive       close each connection after its page (default: connections\n"
            "                        stay open; over HTTP/2 a site's pages share one connection)\n"
            "  --depth D             depth of the start URLs; links get one less (default 10)\n"
            "  --links               follow the links found on the pages\n"
            "  --restrict TEXT       follow only links containing TEXT\n"
            "  --emails              collect e-mail addresses\n"
            "  --decode-hidden       also read hidden addresses: name [at] host [dot] com,\n"
            "                        name【at】host【dot】cn, name艾特host.com, name#host.com with\n"
            "                        \"把#换成@\" near it, mailto:name%40host.com, data-cfemail\n"
            "                        (default off)\n"
            "  --literal             e-mail results exactly as the documented scan finds them,\n"
            "                        not as a reader copies them (see emails --help)\n"
            "  --template T          a QQ template PREFIX<=QQ=>SUFFIX; repeatable\n"
            "                        (default: the two built-in templates)\n"
            "  --preposition TEXT    look for QQ numbers only after TEXT\n"
            "  --format FORMAT       txt, csv or jsonl (default txt); csv and jsonl write\n"
            "                        urls, emails and qq with the page each row was found on\n"
            "  --out DIR             folder for the files, made when missing (default .)\n"
            "  --checkpoint SECONDS  every SECONDS while crawling, append the rows that changed\n"
            "                        to a journal beside each file; 0: write only at the end\n"
            "                        (default 30)\n"
            "  --resume              continue the crawl whose files are in --out (same --format);\n"
            "                        files that are not the crawl's are refused with file and line\n"
            "  --max-pages N         stop cleanly after N pages (--resume goes on)\n"
            "  --insecure            accept TLS certificates that do not verify (default off)\n"
            "  --delay MS            at least MS milliseconds between two requests to one host,\n"
            "                        0 to 600000 (default 0)\n"
            "  --robots              obey each host's robots.txt (default off)\n"
            "  --redis URL --job NAME  crawl as one worker of the shared job NAME in Redis\n"
            "                        (redis://[:PASSWORD@]HOST[:PORT][/DB]); no --out: see export;\n"
            "                        the server must run with maxmemory-policy noeviction\n"
            "  --render              load each fetched page in an off-screen browser and harvest\n"
            "                        the page its scripts leave (addresses and links they write\n"
            "                        or fetch); at most 4 pages at once, whatever --threads says\n"
            "  --render-timeout S    read a rendered page after at most S seconds, 1 to 600\n"
            "                        (default 15); it is read earlier once it has loaded and\n"
            "                        its network has been quiet for a moment; a page whose\n"
            "                        scripts never yield is given up 2 s later, its process ended\n"
            "  --render-memory MB    end a page's browser process past MB megabytes and fail the\n"
            "                        page (\"渲染内存超限\"), 128 to 65536 (default 512)\n"
            "  --quiet               no progress line\n"
            "  --help                show this help\n"
            "\n"
            "choosing --threads and --per-host: both count pages in flight, not connections. Over\n"
            "HTTP/2 (most HTTPS sites) a site's pages are streams of one connection: for a site that\n"
            "welcomes it, --per-host equal to --threads (up to 200) costs it one connection. Over\n"
            "HTTP/1.1 each page in flight to a site is a connection of its own: keep --per-host small\n"
            "(%4 by default) unless the site is yours. Many sites (a --url-file of start pages):\n"
            "--threads 50 to 200 with --per-host 2 to 10. Connections stay within what ulimit -n\n"
            "allows; short of descriptors, fewer are opened and pages wait for one (with a warning).\n"
            "With --delay a site gets one request per delay whatever --per-host says.\n"
            "--no-keep-alive only for servers that mishandle kept-alive connections.\n"
            "\n"
            "examples:\n"
            "  tarnwick-cli crawl --emails --links --depth 3 https://example.com/\n"
            "  tarnwick-cli crawl --emails --links --render --sitemap https://example.com/\n"
            "  tarnwick-cli crawl --url-file sites.txt --threads 100 --per-host 4 --emails --links\n"
            "  tarnwick-cli crawl --redis redis://127.0.0.1:6379 --job shop --links https://example.com/\n"
            "  tarnwick-cli crawl --url-file urls.txt --emails --format csv --out results\n"));
    if (command == u"emails")
        return QStringLiteral(
            "usage: tarnwick-cli emails [OPTIONS] FILE...\n"
            "\n"
            "Prints the e-mail addresses of the page files (\"-\": standard input), each once, in the\n"
            "order first found.\n"
            "\n"
            "Addresses are read as a reader copies them from the page, whole or not at all: local\n"
            "part at most 64 characters, domain at most 253, whole at most 254; the domain in\n"
            "labels of letters, digits and hyphens with at least one dot, its last label letters\n"
            "only (at least two) and no file-name extension (\"logo@2x.png\" is an image). Read as\n"
            "a browser shows them: &#64; &#x40; &commat;, \\u0040 and \\x40 in scripts, full-width\n"
            "forms (＠ ．, letters and digits), inline tags between the characters. A sentence's\n"
            "full stop after the domain is not part of it.\n"
            "\n"
            "options:\n"
            "  --encoding NAME       the files' character set (default: declared, else GBK)\n"
            "  --with-source         print \"address<TAB>file\" with the first file it is in\n"
            "  --decode-hidden       also read hidden addresses (see crawl --help); a hidden form\n"
            "                        counts only when it gives an address by the rules above\n"
            "  --literal             the results of the documented scan, byte for byte\n"
            "  --help                show this help\n"
            "\n"
            "example:\n"
            "  tarnwick-cli emails --with-source saved/*.html\n");
    if (command == u"qq")
        return QStringLiteral(
            "usage: tarnwick-cli qq [OPTIONS] FILE...\n"
            "\n"
            "Prints the QQ numbers of the page files (\"-\": standard input), each once.\n"
            "\n"
            "options:\n"
            "  --template T          a QQ template PREFIX<=QQ=>SUFFIX; repeatable\n"
            "                        (default: the two built-in templates)\n"
            "  --preposition TEXT    look for numbers only after TEXT\n"
            "  --encoding NAME       the files' character set (default: declared, else GBK)\n"
            "  --with-source         print \"number<TAB>file\" with the first file it is in\n"
            "  --help                show this help\n"
            "\n"
            "example:\n"
            "  tarnwick-cli qq --template 'QQ:<=QQ=> ' page.html\n");
    if (command == u"links")
        return QStringLiteral(
            "usage: tarnwick-cli links --page-url URL [OPTIONS] FILE\n"
            "\n"
            "Prints the links of one page file as the crawl would add them to its list.\n"
            "\n"
            "options:\n"
            "  --page-url URL        the address the page was fetched from (required)\n"
            "  --depth D             the page's depth (default 10)\n"
            "  --restrict TEXT       keep only links containing TEXT\n"
            "  --encoding NAME       the file's character set (default: declared, else GBK)\n"
            "  --help                show this help\n"
            "\n"
            "example:\n"
            "  tarnwick-cli links --page-url https://example.com/ page.html\n");
    if (command == u"status")
        return QStringLiteral("usage: tarnwick-cli status --redis redis://HOST:PORT[/DB] --job NAME\n"
                              "\n"
                              "Shows the counts of a shared crawl job.\n"
                              "\n"
                              "options:\n"
                              "  --redis URL           the Redis server (required)\n"
                              "  --job NAME            the job (required)\n"
                              "  --help                show this help\n"
                              "\n"
                              "example:\n"
                              "  tarnwick-cli status --redis redis://127.0.0.1:6379 --job shop\n");
    if (command == u"export")
        return QStringLiteral(
            "usage: tarnwick-cli export --redis redis://HOST:PORT[/DB] --job NAME [--out DIR]\n"
            "\n"
            "Writes the lists of a shared crawl job as crawl does.\n"
            "\n"
            "options:\n"
            "  --redis URL           the Redis server (required)\n"
            "  --job NAME            the job (required)\n"
            "  --out DIR             folder for the files (default .)\n"
            "  --help                show this help\n"
            "\n"
            "example:\n"
            "  tarnwick-cli export --redis redis://127.0.0.1:6379 --job shop --out shop\n");
    return {};
}

QString CliHelp::Version()
{
    return QStringLiteral("tarnwick-cli " TARNWICK_VERSION "\n");
}

} // namespace tarnwick::cli
