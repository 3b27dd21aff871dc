#include "store/SettingsFile.h"

#include <algorithm>
#include <cmath>

#include "store/NumberRule.h"

namespace {

// GetSetting's answers for a missing key and for a key without a value.
bool HasValue(const QString& text) {
    return text != clsIniFile::MissingValue && text != clsIniFile::EmptyValue;
}

// A number box with a list: the value when it is one of the list's numbers, else the initial one.
QString ListValue(const QString& text, int highest, const QString& initial) {
    if (!HasValue(text)) return initial;
    const double v = NumberRule::Val(text);
    if (!(v >= 1 && v <= highest) || v != std::trunc(v)) return initial;
    return QString::number(NumberRule::SaturatingCast<int>(v));
}

QString TextValue(const QString& text, const QString& initial) {
    return HasValue(text) ? text : initial;
}

// "True"/"False" as the file holds them; a number is true when it is not 0.
bool BoolValue(const QString& text, bool initial) {
    if (!HasValue(text)) return initial;
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    const QChar c = t.isEmpty() ? QChar() : t.at(0);
    if (c.isDigit() || c == u'-' || c == u'+' || c == u'.' || c == u'&')
        return NumberRule::Val(t) != 0;
    return initial;
}

}  // namespace

const QStringList& SettingsFile::OtherKeys() {
    static const QStringList keys{"StartMin",     "CloseMin",      "HideMin",
                                  "UseQV",        "StillDownload", "DoneExit",
                                  "DownShutDown", "AutoBack",      "PopMessage"};
    return keys;
}

const QStringList& SettingsFile::UserAgents() {
    static const QStringList agents{"Quorvanta 1.0", "Mozilla/4.06 [en] (Win98; I)",
                                    "Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)",
                                    "Mozilla/4.0 (Windows 95;US) Opera 3.60  [en]"};
    return agents;
}

ProxyRow SettingsFile::SplitProxyEntry(const QString& entry) {
    const qsizetype colon = entry.indexOf(u':');
    if (colon < 0) return {};
    return {entry.left(colon), entry.mid(colon + 1)};
}

QString SettingsFile::ProxyEntryText(const ProxyRow& row) {
    return row.Host + u':' + row.Port;
}

OptionValues SettingsFile::Read(clsIniFile& ini) {
    OptionValues v;
    const OptionValues initial;
    const QString general = QStringLiteral("General");
    v.Maxjobs = ListValue(ini.GetSetting(general, "Maxjobs"), kMaxJobsList, initial.Maxjobs);
    v.Parts = ListValue(ini.GetSetting(general, "Parts"), kPartsList, initial.Parts);
    v.Retries = ListValue(ini.GetSetting(general, "Retries"), kRetriesList, initial.Retries);
    v.Ctimeout = TextValue(ini.GetSetting(general, "Ctimeout"), initial.Ctimeout);
    v.Rtimeout = TextValue(ini.GetSetting(general, "Rtimeout"), initial.Rtimeout);
    v.Redelay = TextValue(ini.GetSetting(general, "Redelay"), initial.Redelay);
    v.Option1 = BoolValue(ini.GetSetting(general, "Fileexits"), initial.Option1);
    v.Useragent = TextValue(ini.GetSetting(general, "Useragent"), initial.Useragent);

    // No more entries than the section has keys, whatever the count says.
    const QString proxy = QStringLiteral("Proxy");
    const double counted = NumberRule::Val(ini.GetSetting(proxy, "ProxyNum"));
    const qsizetype keys = ini.KeyNames(proxy).size();
    const qsizetype n =
        std::clamp<qsizetype>(NumberRule::SaturatingCast<qsizetype>(counted), 0, keys);
    for (qsizetype i = 1; i <= n; ++i) {
        const QString entry = ini.GetSetting(proxy, QString::number(i));
        if (entry == clsIniFile::MissingValue) continue;
        v.Proxies.append(SplitProxyEntry(HasValue(entry) ? entry : QString()));
    }

    for (int i = 0; i < OtherKeys().size(); ++i) {
        const QString text = ini.GetSetting(QStringLiteral("Other"), OtherKeys().at(i));
        v.Other[i] = HasValue(text) ? (NumberRule::Val(text) != 0 ? 1 : 0) : initial.Other[i];
    }

    const QString notify = ini.GetSetting(QStringLiteral("Other"), QStringLiteral("Notify"));
    v.Notify = HasValue(notify) ? NumberRule::Val(notify) != 0 : initial.Notify;
    const QString resume = ini.GetSetting(QStringLiteral("Other"), QStringLiteral("ResumeAtStart"));
    v.ResumeAtStart = HasValue(resume) ? NumberRule::Val(resume) != 0 : initial.ResumeAtStart;
    const QString others =
        ini.GetSetting(QStringLiteral("Other"), QStringLiteral("MovieOtherSites"));
    v.MovieOtherSites = HasValue(others) ? NumberRule::Val(others) != 0 : initial.MovieOtherSites;
    const QString fileLimit =
        ini.GetSetting(QStringLiteral("Other"), QStringLiteral("MovieFileLimit"));
    v.MovieFileLimit = HasValue(fileLimit) ? fileLimit.trimmed() : initial.MovieFileLimit;
    const QString limit = ini.GetSetting(QStringLiteral("Other"), QStringLiteral("SpeedLimit"));
    v.SpeedLimit = HasValue(limit) ? limit.trimmed() : initial.SpeedLimit;

    const QString style = ini.GetSetting(QStringLiteral("Skins"), QStringLiteral("Style"));
    v.Style = HasValue(style) ? style : QString();

    // A present but empty DnsServer means "the computer's own"; the others need a value.
    const QString advanced = QStringLiteral("Advanced");
    v.HomePage = TextValue(ini.GetSetting(advanced, "HomePage"), initial.HomePage);
    v.UpdateHost = TextValue(ini.GetSetting(advanced, "UpdateHost"), initial.UpdateHost);
    v.UpdatePort = TextValue(ini.GetSetting(advanced, "UpdatePort"), initial.UpdatePort);
    const QString dns = ini.GetSetting(advanced, "DnsServer");
    v.DnsServer = HasValue(dns) ? dns : QString();
    v.SmtpPort = TextValue(ini.GetSetting(advanced, "SmtpPort"), initial.SmtpPort);
    return v;
}

OptionValues SettingsFile::Read(const QString& iniPath) {
    clsIniFile ini(iniPath);
    return Read(ini);
}

bool SettingsFile::Write(clsIniFile& ini, const OptionValues& v) {
    ini.BeginUpdate();
    const QString general = QStringLiteral("General");
    ini.DeleteSection(general);
    ini.SaveSetting(general, "Maxjobs", v.Maxjobs);
    ini.SaveSetting(general, "Parts", v.Parts);
    ini.SaveSetting(general, "Retries", v.Retries);
    ini.SaveSetting(general, "Ctimeout", v.Ctimeout);
    ini.SaveSetting(general, "Rtimeout", v.Rtimeout);
    ini.SaveSetting(general, "Redelay", v.Redelay);
    ini.SaveSetting(general, "Fileexits", v.Option1 ? "True" : "False");
    ini.SaveSetting(general, "Useragent", v.Useragent);

    const QString proxy = QStringLiteral("Proxy");
    ini.DeleteSection(proxy);
    ini.SaveSetting(proxy, "Proxynum", QString::number(v.Proxies.size()));
    ini.SaveSetting(proxy, "Default", "0");
    for (qsizetype i = 0; i < v.Proxies.size(); ++i)
        ini.SaveSetting(proxy, u' ' + QString::number(i + 1), ProxyEntryText(v.Proxies.at(i)));

    const QString other = QStringLiteral("Other");
    ini.DeleteSection(other);
    for (int i = 0; i < OtherKeys().size(); ++i)
        ini.SaveSetting(other, OtherKeys().at(i), QString::number(v.Other[i] ? 1 : 0));
    if (!v.Notify) ini.SaveSetting(other, "Notify", "0");
    if (!v.ResumeAtStart) ini.SaveSetting(other, "ResumeAtStart", "0");
    if (v.MovieOtherSites) ini.SaveSetting(other, "MovieOtherSites", "1");
    if (NumberRule::ValInt32(v.MovieFileLimit) > 0)
        ini.SaveSetting(other, "MovieFileLimit",
                        QString::number(NumberRule::ValInt32(v.MovieFileLimit)));
    const int32_t limit = std::max<int32_t>(0, NumberRule::ValInt32(v.SpeedLimit));
    if (limit > 0) ini.SaveSetting(other, "SpeedLimit", QString::number(limit));

    // The style has a section of its own, so the three above are untouched by it.
    const QString skins = QStringLiteral("Skins");
    ini.DeleteSection(skins);
    if (!v.Style.isEmpty()) ini.SaveSetting(skins, "Style", v.Style);

    const QString advanced = QStringLiteral("Advanced");
    ini.DeleteSection(advanced);
    ini.SaveSetting(advanced, "HomePage", v.HomePage);
    ini.SaveSetting(advanced, "UpdateHost", v.UpdateHost);
    ini.SaveSetting(advanced, "UpdatePort", v.UpdatePort);
    ini.SaveSetting(advanced, "DnsServer", v.DnsServer);
    ini.SaveSetting(advanced, "SmtpPort", v.SmtpPort);
    return ini.EndUpdate();
}

SettingsRecord SettingsFile::ToRecord(const OptionValues& v) {
    SettingsRecord r;
    r.Maxjobs = NumberRule::ValInt16(v.Maxjobs);
    r.Parts = NumberRule::ValInt16(v.Parts);
    r.Retries = NumberRule::ValInt16(v.Retries);
    r.Ctimeout = NumberRule::ValInt16(v.Ctimeout);
    r.Rtimeout = NumberRule::ValInt16(v.Rtimeout);
    r.Redelay = NumberRule::ValInt16(v.Redelay);
    r.Fileexits = v.Option1 ? int16_t(0) : int16_t(-1);
    r.Useragent = v.Useragent;
    int16_t* other[] = {&r.StartMin, &r.CloseMin,     &r.HideMin,  &r.UseQV,     &r.StillDownload,
                        &r.DoneExit, &r.DownShutDown, &r.AutoBack, &r.PopMessage};
    for (int i = 0; i < 9; ++i) *other[i] = v.Other[i];
    r.Notify = v.Notify ? 1 : 0;
    r.ResumeAtStart = v.ResumeAtStart ? 1 : 0;
    r.MovieOtherSites = v.MovieOtherSites ? 1 : 0;
    // Never less than the standard 64 MB: the option only allows more.
    r.MovieFileLimitMb = std::max<int32_t>(64, NumberRule::ValInt32(v.MovieFileLimit));
    r.SpeedLimit = std::max<int32_t>(0, NumberRule::ValInt32(v.SpeedLimit));
    // A port of 0 (no number) takes the standard one.
    const SettingsRecord initial;
    r.HomePage = v.HomePage.trimmed();
    r.UpdateHost = v.UpdateHost.trimmed();
    r.UpdatePort = NumberRule::ValUInt16(v.UpdatePort);
    if (r.UpdatePort == 0) r.UpdatePort = initial.UpdatePort;
    r.DnsServer = v.DnsServer.trimmed();
    r.SmtpPort = NumberRule::ValUInt16(v.SmtpPort);
    if (r.SmtpPort == 0) r.SmtpPort = initial.SmtpPort;
    return r;
}
