#pragma once
// The computer's DNS servers and DNS domain, filled on first use and kept for the run.

#include <QString>
#include <QStringList>

// Server addresses as text (dotted addresses or host names); only the first is asked.
extern QStringList DnsServers;
// The computer's DNS domain (may be empty) and its last two labels.
extern QString LocalDnsDomain;
extern QString BaseDomain;

// Fills DnsServers, LocalDnsDomain and BaseDomain from the resolver configuration: its
// "nameserver" lines in order, its "domain" line, else the first entry of its "search" line.
void GetDnsServers(const QString& resolvConf = QStringLiteral("/etc/resolv.conf"));

// The last two "."-separated parts of domain, or domain itself when it has fewer than two.
QString BaseDomainOf(const QString& domain);
