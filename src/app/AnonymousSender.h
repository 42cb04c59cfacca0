#pragma once

#include <QString>

// Who a post goes out from: the identity's name and address, or the anonymous sender.
struct TSenderAddress {
  QString name;
  QString address;
  QString FromText() const;  // "name <address>", or the bare address without a name
};

// The anonymous sender: display name "Anonymous" and a placeholder address.
TSenderAddress AnonymousSender();

// The From text for a post to the comma-separated newsgroups (empty for an
// e-mail) under the anonymous-sender rules; anonymousListPath is the
// "_AnonymousList.txt" to consult.
QString ChooseSender(const QString& newsgroups, const TSenderAddress& identity, const QString& anonymousListPath);
