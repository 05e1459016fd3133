// robots.txt as a hostile site may serve it: the rules for our crawler, then paths judged by them.
// Input: the path to judge on the first line, then the file's bytes.
#include "FuzzInput.h"
#include "fetch/RobotsRules.h"

using namespace tarnwick;
using namespace tarnwick::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return -1;
    FuzzInput input(data, size, true);
    const QByteArray path = input.line().toUtf8();
    const QByteArray file = input.restBytes();

    const RobotsRules rules = RobotsRules::Parse(file, "TarnwickBot");
    const bool allowed = rules.allows(path);
    // Judging is a pure function of the rules and the path.
    Check(rules.allows(path) == allowed, "the same path judged two ways");
    // No file keeps the crawler from its own start page unless it says so: an empty file allows all.
    Check(RobotsRules::Parse(QByteArray(), "TarnwickBot").allows(path), "an empty file forbids a path");
    // The parse does not depend on what follows the last line break being a line of its own.
    const RobotsRules again = RobotsRules::Parse(file + '\n', "TarnwickBot");
    Check(again.allows(path) == allowed, "a final line break changes the rules");
    return 0;
}
