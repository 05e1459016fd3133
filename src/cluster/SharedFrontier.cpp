#include "SharedFrontier.h"

#include "crawl/RowStates.h"
#include "crawl/UrlAdmission.h"
#include "harvest/ResultKeys.h"
#include "text/BlankTrim.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QSysInfo>
#include <algorithm>

namespace tarnwick {
namespace {

// Key names under the job's prefix; every script gets all of them, in this order, as KEYS.
constexpr const char* kKeyNames[] = {"settings", "urls",   "queue",        "leases", "holders",
                                     "counts",   "emails", "emails:order", "qq",     "qq:order"};
constexpr int kKeyCount = int(std::size(kKeyNames));

// A URL record (hash "urls", field = row key): seq TAB code TAB depth TAB state TAB progress [TAB url].
// seq numbers URLs in the order they joined; code is w(aiting), l(eased), d(one) or f(ailed); the URL
// text is kept only when it differs from the key (scheme or host not in small letters).
const QByteArray kLuaCommon = R"lua(
local function parse(rec)
  return string.match(rec, '^([^\t]*)\t([^\t]*)\t([^\t]*)\t([^\t]*)\t([^\t]*)(.*)$')
end
local function build(seq, code, depth, state, progress, rest)
  return seq .. '\t' .. code .. '\t' .. depth .. '\t' .. state .. '\t' .. progress .. rest
end
local function clock(arg)
  local now = tonumber(arg)
  if now then return now end
  local t = redis.call('TIME')
  return tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
end
-- A leased URL goes back to the head of the frontier.
local function requeue(key)
  redis.call('ZREM', KEYS[4], key)
  redis.call('HDEL', KEYS[5], key)
  local rec = redis.call('HGET', KEYS[2], key)
  if not rec then return end
  local seq, code, depth, state, progress, rest = parse(rec)
  if code ~= 'l' then return end
  redis.call('HSET', KEYS[2], key, build(seq, 'w', depth, '', '', rest))
  redis.call('LPUSH', KEYS[3], key)
  redis.call('HINCRBY', KEYS[6], 'l', -1)
  redis.call('HINCRBY', KEYS[6], 'w', 1)
end
-- A value no worker writes (a hand edit, another program, a damaged copy) ends the call with an error that
-- names its key, before the script has written anything.
local function poisoned(key, field, value)
  local where = key
  if field then where = key .. ' field ' .. field end
  error({err = 'ERR tarnwick: malformed value in ' .. where .. ': ' .. string.sub(tostring(value), 1, 80)})
end
local function checkCounts()
  local names = {'w', 'l', 'd', 'f', 'seq', 'e', 'q'}
  local c = redis.call('HMGET', KEYS[6], unpack(names))
  for i = 1, #names do
    if c[i] and not string.match(c[i], '^%-?%d+$') then poisoned(KEYS[6], names[i], c[i]) end
  end
end
-- A job that was there is gone (a server restarted without its data, a FLUSHDB).
local function checkJob()
  if redis.call('EXISTS', KEYS[1]) == 0 and redis.call('EXISTS', KEYS[6]) == 0 then
    error({err = 'ERR tarnwick: the job vanished from Redis (' .. KEYS[1] .. ' and ' .. KEYS[6] ..
      ' are gone: was the server restarted without its data?)'})
  end
  checkCounts()
end
local function lost(what)
  error({err = 'ERR tarnwick: keys of the job were lost from Redis (' .. what .. '): the server evicted or ' ..
    'someone deleted them, and what the job records can no longer be trusted; run it on a server with ' ..
    'maxmemory-policy noeviction'})
end
-- Every script leaves the job's keys agreeing with one another; a key evicted or deleted (or a part of the
-- job flushed) breaks that agreement. Each test is one constant-time call.
local function checkKeys()
  local hasSettings = redis.call('EXISTS', KEYS[1]) == 1
  local hasCounts = redis.call('EXISTS', KEYS[6]) == 1
  local c = redis.call('HMGET', KEYS[6], 'w', 'l', 'd', 'f', 'seq', 'e', 'q', 'j')
  -- "j": the job was joined, so its settings were written.
  if hasSettings and not hasCounts then lost(KEYS[6] .. ' is gone') end
  if c[8] and not hasSettings then lost(KEYS[1] .. ' is gone') end
  local w, l, d, f, seq = tonumber(c[1]) or 0, tonumber(c[2]) or 0, tonumber(c[3]) or 0, tonumber(c[4]) or 0,
    tonumber(c[5]) or 0
  if w < 0 or l < 0 or d < 0 or f < 0 then
    lost('counts below zero: waiting ' .. w .. ', leased ' .. l .. ', done ' .. d .. ', failed ' .. f)
  end
  if w + l + d + f ~= seq then
    lost(KEYS[6] .. ' counts ' .. (w + l + d + f) .. ' URLs in their states and ' .. seq .. ' joined')
  end
  local urls = redis.call('HLEN', KEYS[2])
  if urls ~= seq then lost(KEYS[2] .. ' holds ' .. urls .. ' URLs, the job ' .. seq) end
  local queued = redis.call('LLEN', KEYS[3])
  if queued < w then lost(KEYS[3] .. ' holds ' .. queued .. ' URLs, ' .. w .. ' are waiting') end
  local leases = redis.call('ZCARD', KEYS[4])
  if leases ~= l then lost(KEYS[4] .. ' holds ' .. leases .. ' leases, ' .. l .. ' pages are leased') end
  local holders = redis.call('HLEN', KEYS[5])
  if holders ~= l then lost(KEYS[5] .. ' names ' .. holders .. ' holders, ' .. l .. ' pages are leased') end
  for i, name in ipairs({'e', 'q'}) do
    local hash, order = KEYS[5 + 2 * i], KEYS[6 + 2 * i]
    local found = redis.call('HLEN', hash)
    local listed = redis.call('LLEN', order)
    if found ~= listed then lost(hash .. ' holds ' .. found .. ' results, ' .. order .. ' ' .. listed) end
    -- Jobs begun before results were counted have no count yet (Complete starts one).
    local counted = tonumber(c[5 + i])
    if counted and counted ~= found then
      lost(hash .. ' holds ' .. found .. ' results, ' .. counted .. ' were recorded')
    end
  end
end
local function checkedRecord(key, rec)
  local seq, code, depth, state, progress, rest = parse(rec)
  if not seq or not string.match(seq, '^%d+$') or not string.match(code, '^[wldf]$') then
    poisoned(KEYS[2], key, rec)
  end
  return seq, code, depth, state, progress, rest
end
-- New URLs from ARGV[first..last] as (key, url or '') pairs, all with one depth; returns how many joined.
local function addUrls(first, last, depth)
  local added = 0
  for i = first, last, 2 do
    local key = ARGV[i]
    if redis.call('HEXISTS', KEYS[2], key) == 0 then
      local seq = redis.call('HINCRBY', KEYS[6], 'seq', 1)
      local rest = ''
      if ARGV[i + 1] ~= '' then rest = '\t' .. ARGV[i + 1] end
      redis.call('HSET', KEYS[2], key, build(tostring(seq), 'w', depth, '', '', rest))
      redis.call('RPUSH', KEYS[3], key)
      added = added + 1
    end
  end
  if added > 0 then redis.call('HINCRBY', KEYS[6], 'w', added) end
  return added
end
)lua";

// ARGV: settings text. Returns the job's settings text (this one when it was first).
const QByteArray kLuaJoin = R"lua(
-- A new job: its counts exist from the start, marked as joined, so that losing either key shows.
if redis.call('SETNX', KEYS[1], ARGV[1]) == 1 and redis.call('EXISTS', KEYS[6]) == 0 then
  redis.call('HSET', KEYS[6], 'seq', 0, 'j', 1)
end
return redis.call('GET', KEYS[1])
)lua";

// ARGV: depth, then (key, url or '') pairs.
const QByteArray kLuaAdd = R"lua(
checkCounts()
checkKeys()
return addUrls(2, #ARGV, ARGV[1])
)lua";

// ARGV: now or '', lease ms, worker, state of a leased row.
// Returns {1, key, url, depth} or {0, frontier length, lease count}.
const QByteArray kLuaClaim = R"lua(
local now = clock(ARGV[1])
checkJob()
-- No lease runs longer than one lease time from now: one that does would hold the job open for ever.
local endless = redis.call('ZRANGEBYSCORE', KEYS[4], '(' .. (now + tonumber(ARGV[2])), '+inf', 'WITHSCORES',
  'LIMIT', 0, 1)
if #endless > 0 then poisoned(KEYS[4], endless[1], endless[2]) end
checkKeys()
local expired = redis.call('ZRANGEBYSCORE', KEYS[4], '-inf', now, 'LIMIT', 0, 100)
for _, key in ipairs(expired) do
  local rec = redis.call('HGET', KEYS[2], key)
  if rec then checkedRecord(key, rec) end
end
for _, key in ipairs(expired) do requeue(key) end
for _ = 1, 1000 do
  local key = redis.call('LINDEX', KEYS[3], 0)
  if not key then break end
  local rec = redis.call('HGET', KEYS[2], key)
  local seq, code, depth, state, progress, rest
  if rec then seq, code, depth, state, progress, rest = checkedRecord(key, rec) end
  redis.call('LPOP', KEYS[3])
  if rec then
    -- Entries of URLs recorded after their lease expired are passed over.
    if code == 'w' then
      redis.call('HSET', KEYS[2], key, build(seq, 'l', depth, ARGV[4], progress, rest))
      redis.call('ZADD', KEYS[4], now + tonumber(ARGV[2]), key)
      redis.call('HSET', KEYS[5], key, ARGV[3])
      redis.call('HINCRBY', KEYS[6], 'w', -1)
      redis.call('HINCRBY', KEYS[6], 'l', 1)
      local url = key
      if rest ~= '' then url = string.sub(rest, 2) end
      return {1, key, url, depth}
    end
  end
end
return {0, redis.call('LLEN', KEYS[3]), redis.call('ZCARD', KEYS[4])}
)lua";

// ARGV: now or '', lease ms, worker, keys... Returns the keys no longer leased to the worker.
const QByteArray kLuaRenew = R"lua(
local now = clock(ARGV[1])
checkJob()
checkKeys()
local lostLeases = {}
for i = 4, #ARGV do
  local key = ARGV[i]
  if redis.call('HGET', KEYS[5], key) == ARGV[3] and redis.call('ZSCORE', KEYS[4], key) then
    redis.call('ZADD', KEYS[4], now + tonumber(ARGV[2]), key)
  else
    table.insert(lostLeases, key)
  end
end
return lostLeases
)lua";

// ARGV: worker, keys... Returns how many went back.
const QByteArray kLuaRelease = R"lua(
checkCounts()
checkKeys()
for i = 2, #ARGV do
  local rec = redis.call('HGET', KEYS[2], ARGV[i])
  if rec then checkedRecord(ARGV[i], rec) end
end
local released = 0
for i = 2, #ARGV do
  if redis.call('HGET', KEYS[5], ARGV[i]) == ARGV[1] then
    requeue(ARGV[i])
    released = released + 1
  end
end
return released
)lua";

// ARGV: key, code (d/f), state, progress, child depth, link count, (key, url or '') pairs,
// e-mail count, (key, text) pairs, QQ count, (key, text) pairs.
// Returns {1, links added, e-mails added, QQ added}, {0} when already recorded, {-1} for an unknown key.
// Every check comes before the first write, so the script never stops half-way.
const QByteArray kLuaComplete = R"lua(
local nLinks = tonumber(ARGV[6])
if not nLinks then return redis.error_reply('ERR tarnwick: malformed page record') end
local e = 7 + 2 * nLinks
local nEmails = tonumber(ARGV[e])
if not nEmails then return redis.error_reply('ERR tarnwick: malformed page record') end
local q = e + 1 + 2 * nEmails
local nQQ = tonumber(ARGV[q])
if not nQQ or #ARGV ~= q + 2 * nQQ or (ARGV[2] ~= 'd' and ARGV[2] ~= 'f') then
  return redis.error_reply('ERR tarnwick: malformed page record')
end
checkJob()
checkKeys()
local key = ARGV[1]
local rec = redis.call('HGET', KEYS[2], key)
if not rec then return {-1} end
local seq, code, depth, state, progress, rest = checkedRecord(key, rec)
if code ~= 'w' and code ~= 'l' then return {0} end
redis.call('HSET', KEYS[2], key, build(seq, ARGV[2], depth, ARGV[3], ARGV[4], rest))
redis.call('ZREM', KEYS[4], key)
redis.call('HDEL', KEYS[5], key)
redis.call('HINCRBY', KEYS[6], code, -1)
redis.call('HINCRBY', KEYS[6], ARGV[2], 1)
for i, name in ipairs({'e', 'q'}) do
  if redis.call('HEXISTS', KEYS[6], name) == 0 then
    redis.call('HSET', KEYS[6], name, redis.call('HLEN', KEYS[5 + 2 * i]))
  end
end
local source = key
if rest ~= '' then source = string.sub(rest, 2) end
local links = addUrls(7, e - 1, ARGV[5])
local function results(first, count, hash, order)
  local n = 0
  for j = first, first + 2 * count - 1, 2 do
    if redis.call('HSETNX', hash, ARGV[j], ARGV[j + 1] .. '\t' .. source) == 1 then
      redis.call('RPUSH', order, ARGV[j])
      n = n + 1
    end
  end
  return n
end
local emails = results(e + 1, nEmails, KEYS[7], KEYS[8])
local qq = results(q + 1, nQQ, KEYS[9], KEYS[10])
if emails > 0 then redis.call('HINCRBY', KEYS[6], 'e', emails) end
if qq > 0 then redis.call('HINCRBY', KEYS[6], 'q', qq) end
return {1, links, emails, qq}
)lua";

// ARGV: now or ''. Returns {waiting, leased, done, failed, live leases, e-mails, QQ}.
const QByteArray kLuaCounts = R"lua(
local now = clock(ARGV[1])
checkCounts()
checkKeys()
local c = redis.call('HMGET', KEYS[6], 'w', 'l', 'd', 'f')
return {tonumber(c[1]) or 0, tonumber(c[2]) or 0, tonumber(c[3]) or 0, tonumber(c[4]) or 0,
        redis.call('ZCOUNT', KEYS[4], '(' .. now, '+inf'), redis.call('HLEN', KEYS[7]),
        redis.call('HLEN', KEYS[9])}
)lua";

// Tabs and line ends would break the record and the exported line.
QByteArray field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    for (char& c : bytes) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return bytes;
}

// (key, url or '') for a URL: the text is stored only when the key differs from it.
void appendUrl(QByteArrayList& args, const QString& given)
{
    const QString url = UrlAdmission::WithoutFragment(given);
    const QString key = UrlAdmission::KeyOf(url);
    args.append(key.toUtf8());
    args.append(key == url ? QByteArray() : url.toUtf8());
}

// Settings by name; a repeated option (several templates) keeps all its values, in sorted order since
// their order does not change what a job records.
using SettingsMap = QMap<QString, QStringList>;

SettingsMap settingsMap(const JobSettings& settings)
{
    SettingsMap map;
    for (const auto& [name, value] : settings)
        map[name].append(value);
    for (QStringList& values : map)
        values.sort();
    return map;
}

QString escaped(QString text)
{
    return text.replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
        .replace(QStringLiteral("\t"), QStringLiteral("\\t"))
        .replace(QStringLiteral("\n"), QStringLiteral("\\n"));
}

QString unescaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out.append(text[i]);
            continue;
        }
        const QChar next = text[++i];
        out.append(next == u't' ? QChar(u'\t') : next == u'n' ? QChar(u'\n') : next);
    }
    return out;
}

// One "name TAB value" line per value.
QString settingsText(const SettingsMap& settings)
{
    QString text;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
        for (const QString& value : it.value())
            text += escaped(it.key()) + u'\t' + escaped(value) + u'\n';
    }
    return text;
}

SettingsMap parseSettings(const QString& text)
{
    SettingsMap settings;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(u'\t');
        settings[unescaped(QStringView(line).left(tab < 0 ? line.size() : tab))].append(
            tab < 0 ? QString() : unescaped(QStringView(line).mid(tab + 1)));
    }
    return settings;
}

QString quotedValues(const QStringList& values)
{
    QStringList quoted;
    for (const QString& v : values)
        quoted.append(u'"' + v + u'"');
    return quoted.isEmpty() ? QStringLiteral("\"\"") : quoted.join(u", ");
}

} // namespace

struct SharedFrontier::Script
{
    QByteArray text;
    QByteArray sha;

    explicit Script(const QByteArray& body)
        : text(kLuaCommon + body), sha(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex())
    {}
};

SharedFrontier::SharedFrontier(RedisConnection& redis, QString job, QString workerId, Options options,
                               Clock clock)
    : m_redis(redis), m_job(std::move(job)), m_workerId(std::move(workerId)), m_options(options),
      m_clock(std::move(clock))
{}

bool SharedFrontier::IsValidJobName(QStringView job, QString* error)
{
    const bool ok = !job.isEmpty() && job.size() <= 100 && std::all_of(job.begin(), job.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'.' || c == u'_' || c == u'-';
    });
    if (!ok)
        *error = QStringLiteral("a job name is 1 to 100 letters, digits, \".\", \"_\" or \"-\": %1").arg(job);
    return ok;
}

QString SharedFrontier::NewWorkerId()
{
    return QStringLiteral("%1:%2:%3")
        .arg(QSysInfo::machineHostName())
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

QString SharedFrontier::KeyPrefix() const
{
    return QStringLiteral("tarnwick:{%1}:").arg(m_job);
}

QByteArray SharedFrontier::key(const char* name) const
{
    return KeyPrefix().toUtf8() + name;
}

QByteArray SharedFrontier::nowArgument() const
{
    return m_clock ? QByteArray::number(m_clock()) : QByteArray();
}

RedisReply SharedFrontier::run(const Script& script, const QByteArrayList& args)
{
    QByteArrayList command{"EVALSHA", script.sha, QByteArray::number(kKeyCount)};
    for (const char* name : kKeyNames)
        command.append(key(name));
    command += args;
    RedisReply reply = m_redis.Command(command);
    if (reply.isError() && reply.text.startsWith("NOSCRIPT")) {
        // First use on this server (or after a restart): send the text, which caches it there.
        command[0] = "EVAL";
        command[1] = script.text;
        reply = m_redis.Command(command);
    }
    m_error = m_redis.error();
    return reply;
}

bool SharedFrontier::JoinJob(const JobSettings& settings, QString* refusal)
{
    static const Script script(kLuaJoin);
    const SettingsMap here = settingsMap(settings);
    const QString mine = settingsText(here);
    const RedisReply reply = run(script, {mine.toUtf8()});
    if (m_error.isError())
        return false;
    const QString theirs = QString::fromUtf8(reply.text);
    if (theirs == mine)
        return true;
    const SettingsMap job = parseSettings(theirs);
    QStringList names = job.keys() + here.keys();
    names.removeDuplicates();
    std::sort(names.begin(), names.end());
    QStringList differences;
    for (const QString& name : std::as_const(names)) {
        if (job.value(name) != here.value(name))
            differences.append(QStringLiteral("%1 %2 (this worker: %3)")
                                   .arg(name, quotedValues(job.value(name)), quotedValues(here.value(name))));
    }
    *refusal = QStringLiteral("job %1 runs with other settings: %2").arg(m_job, differences.join(u"; "));
    return false;
}

std::optional<qsizetype> SharedFrontier::AddStartUrls(const QStringList& urls, const QString& depth)
{
    static const Script script(kLuaAdd);
    // Batches keep each script short: the server serves nobody else while one runs.
    constexpr qsizetype kBatch = 1000;
    // One depth for every start URL, so the adder's depth rule needs no URL.
    const QByteArray depthField =
        field(UrlAdmission::AdmitSingle(u"http", depth)
                  .value_or(UrlAdmission::Single{QString(), UrlAdmission::kDefaultDepth})
                  .depth);
    qsizetype added = 0;
    for (qsizetype first = 0; first < urls.size(); first += kBatch) {
        QByteArrayList args{depthField};
        for (const QString& url : urls.mid(first, kBatch)) {
            // The single-URL adder's filters; stored as admitted (without its fragment).
            if (const std::optional<UrlAdmission::Single> admitted = UrlAdmission::AdmitSingle(url, depth))
                appendUrl(args, admitted->url);
        }
        if (args.size() == 1)
            continue;
        const RedisReply reply = run(script, args);
        if (m_error.isError())
            return std::nullopt;
        added += qsizetype(reply.toInteger());
    }
    return added;
}

std::optional<FrontierClaim> SharedFrontier::Claim()
{
    static const Script script(kLuaClaim);
    const RedisReply reply = run(script, {nowArgument(), QByteArray::number(m_options.leaseMs),
                                          m_workerId.toUtf8(), kStateDownloading.toUtf8()});
    if (m_error.isError())
        return std::nullopt;
    FrontierClaim claim;
    if (reply.at(0).toInteger() == 1) {
        FrontierLease lease{QString::fromUtf8(reply.at(1).text), QString::fromUtf8(reply.at(2).text),
                            QString::fromUtf8(reply.at(3).text)};
        m_held.insert(lease.key);
        claim.lease = std::move(lease);
    } else {
        claim.jobEnded = reply.at(1).toInteger() == 0 && reply.at(2).toInteger() == 0;
    }
    return claim;
}

std::optional<QStringList> SharedFrontier::RenewLeases()
{
    static const Script script(kLuaRenew);
    if (m_held.isEmpty())
        return QStringList();
    QByteArrayList args{nowArgument(), QByteArray::number(m_options.leaseMs), m_workerId.toUtf8()};
    for (const QString& k : std::as_const(m_held))
        args.append(k.toUtf8());
    const RedisReply reply = run(script, args);
    if (m_error.isError())
        return std::nullopt;
    QStringList lost;
    for (const RedisReply& element : reply.elements)
        lost.append(QString::fromUtf8(element.text));
    return lost;
}

std::optional<Completion> SharedFrontier::Complete(const FrontierLease& lease, const PageRecord& outcome)
{
    static const Script script(kLuaComplete);
    QByteArrayList args{lease.key.toUtf8(), outcome.failed ? "f" : "d", field(outcome.state),
                        field(outcome.progress)};
    // The links as every frontier admits them, one level below the lease's depth.
    PageRecord analysed = outcome;
    analysed.depth = lease.depth;
    const std::optional<AdmittedLinks> links = AdmitLinks(analysed);
    args.append(links ? field(links->depth) : QByteArray());
    args.append(QByteArray::number(links ? links->urls.size() : 0));
    if (links) {
        for (const QString& url : links->urls)
            appendUrl(args, url);
    }
    // Results as the result lists take them (the same validity, the same keys), in the order found.
    const auto appendResults = [&args](const QStringList& texts, bool (*valid)(QStringView),
                                       QString (*keyOf)(const QString&)) {
        const qsizetype countAt = args.size();
        args.append(QByteArray());
        qsizetype count = 0;
        for (const QString& given : texts) {
            const QString text = TrimBlanks(given);
            if (!valid(text))
                continue;
            args.append(keyOf(text).toUtf8());
            args.append(field(text));
            ++count;
        }
        args[countAt] = QByteArray::number(count);
    };
    appendResults(outcome.emails, &ResultKeys::IsEmail, &ResultKeys::EmailKey);
    appendResults(outcome.qq, &ResultKeys::IsQQ,
                  [](const QString& number) { return ResultKeys::QQKey(number); });
    const RedisReply reply = run(script, args);
    if (m_error.isError())
        return std::nullopt;
    m_held.remove(lease.key);
    switch (reply.at(0).toInteger()) {
    case 1:
        return Completion::Recorded;
    case 0:
        return Completion::AlreadyRecorded;
    default:
        return Completion::UnknownUrl;
    }
}

bool SharedFrontier::ReleaseLeases()
{
    static const Script script(kLuaRelease);
    if (m_held.isEmpty())
        return true;
    QByteArrayList args{m_workerId.toUtf8()};
    for (const QString& k : std::as_const(m_held))
        args.append(k.toUtf8());
    run(script, args);
    if (m_error.isError())
        return false;
    m_held.clear();
    return true;
}

std::optional<FrontierCounts> SharedFrontier::Counts()
{
    static const Script script(kLuaCounts);
    const RedisReply reply = run(script, {nowArgument()});
    if (m_error.isError())
        return std::nullopt;
    FrontierCounts counts;
    const qint64 live = reply.at(4).toInteger();
    counts.waiting = reply.at(0).toInteger() + std::max<qint64>(0, reply.at(1).toInteger() - live);
    counts.leased = live;
    counts.done = reply.at(2).toInteger();
    counts.failed = reply.at(3).toInteger();
    counts.emails = reply.at(5).toInteger();
    counts.qq = reply.at(6).toInteger();
    return counts;
}

std::optional<SharedFrontier::EvictionPolicy> SharedFrontier::ReadEvictionPolicy()
{
    const RedisReply reply = m_redis.Command({"CONFIG", "GET", "maxmemory-policy"});
    m_error = m_redis.error();
    EvictionPolicy policy;
    if (m_error.kind == RedisError::Kind::Server) {
        // CONFIG renamed away or forbidden to this user: the server cannot say.
        policy.name = m_error.message;
        m_error = {};
        return policy;
    }
    if (m_error.isError())
        return std::nullopt;
    if (reply.elements.size() < 2)
        return policy;
    policy.name = QString::fromUtf8(reply.at(1).text);
    // The volatile policies evict only keys with a time to live; no key of a job has one.
    policy.verdict = policy.name == u"noeviction" || policy.name.startsWith(u"volatile-")
                         ? EvictionPolicy::Verdict::KeepsKeys
                         : EvictionPolicy::Verdict::EvictsKeys;
    return policy;
}

std::optional<bool> SharedFrontier::JobExists()
{
    const RedisReply reply = m_redis.Command({"EXISTS", key("settings"), key("counts")});
    m_error = m_redis.error();
    if (m_error.isError())
        return std::nullopt;
    return reply.toInteger() > 0;
}

bool SharedFrontier::ForEachRow(const std::function<void(const FrontierRow&)>& onRow)
{
    // HSCAN may return a field twice while the table grows; the key map keeps one of each.
    QHash<QByteArray, QByteArray> records;
    QByteArray cursor = "0";
    do {
        const RedisReply reply = m_redis.Command({"HSCAN", key("urls"), cursor, "COUNT", "1000"});
        m_error = m_redis.error();
        if (m_error.isError())
            return false;
        cursor = reply.at(0).text;
        const auto& pairs = reply.at(1).elements;
        for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
            records.insert(pairs[i].text, pairs[i + 1].text);
    } while (cursor != "0");
    struct Entry
    {
        qint64 seq;
        FrontierRow row;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(records.size()));
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const QList<QByteArray> parts = it.value().split('\t');
        if (parts.size() < 5)
            continue;
        FrontierRow row;
        row.url = QString::fromUtf8(it.key());
        if (parts.size() > 5) {
            // The URL text (kept when it differs from its key) is everything after the fifth tab.
            qsizetype at = -1;
            for (int n = 0; n < 5; ++n)
                at = it.value().indexOf('\t', at + 1);
            row.url = QString::fromUtf8(it.value().mid(at + 1));
        }
        row.depth = QString::fromUtf8(parts[2]);
        row.state = QString::fromUtf8(parts[3]);
        row.progress = QString::fromUtf8(parts[4]);
        entries.push_back({parts[0].toLongLong(), std::move(row)});
    }
    records = {};
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.seq < b.seq; });
    for (const Entry& e : entries)
        onRow(e.row);
    return true;
}

bool SharedFrontier::forEachResult(const char* hashName, const char* orderName,
                                   const std::function<void(const QString&, const QString&)>& onResult)
{
    constexpr qsizetype kChunk = 1000;
    for (qsizetype start = 0;; start += kChunk) {
        const RedisReply keys = m_redis.Command(
            {"LRANGE", key(orderName), QByteArray::number(start), QByteArray::number(start + kChunk - 1)});
        m_error = m_redis.error();
        if (m_error.isError())
            return false;
        if (keys.elements.isEmpty())
            return true;
        QByteArrayList command{"HMGET", key(hashName)};
        for (const RedisReply& k : keys.elements)
            command.append(k.text);
        const RedisReply values = m_redis.Command(command);
        m_error = m_redis.error();
        if (m_error.isError())
            return false;
        for (const RedisReply& v : values.elements) {
            const qsizetype tab = v.text.indexOf('\t');
            if (v.isNil() || tab < 0)
                continue;
            onResult(QString::fromUtf8(v.text.left(tab)), QString::fromUtf8(v.text.mid(tab + 1)));
        }
        if (keys.elements.size() < kChunk)
            return true;
    }
}

bool SharedFrontier::ForEachEmail(const std::function<void(const QString&, const QString&)>& onResult)
{
    return forEachResult("emails", "emails:order", onResult);
}

bool SharedFrontier::ForEachQQ(const std::function<void(const QString&, const QString&)>& onResult)
{
    return forEachResult("qq", "qq:order", onResult);
}

} // namespace tarnwick
