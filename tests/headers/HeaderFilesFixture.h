#pragma once

#include "headers/NewsHeader.h"
#include "model/Headers.h"

#include <QString>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

// Headers with texts of their own, so that tests can keep them, change them
// and write them.
struct TOwnedHeader {
  TNewsHeader fields;  // texts filled by Header()
  std::string subject, sender, messageId, references;

  TNewsHeader Header() const;
};

// count headers of the shared generator (binary post sets and text threads),
// spread over `newsgroups` newsgroup numbers.
std::vector<TOwnedHeader> GeneratedHeaders(std::size_t count, std::uint64_t seed = 7, int newsgroups = 1);

// Writes headers as the job files base + ".hdrs", ".idx" and (withSeek)
// ".seek", plus an empty job file base + ".kvj"; answers the job file.
QString WriteJob(const QString& base, const std::vector<TOwnedHeader>& headers, bool withSeek = true);

// The header set built straight from headers[first-1 .. last-1] (1-based).
std::unique_ptr<THeaders> DirectSet(const std::vector<TOwnedHeader>& headers, std::size_t first, std::size_t last);

// Everything a header set tells about its posts and articles, post by post
// in order, for comparing two sets.
std::vector<std::string> Describe(const THeaders& headers);

// Compares two header sets and reports the first post that differs.
::testing::AssertionResult SameSet(const THeaders& actual, const THeaders& expected);

QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& data);
