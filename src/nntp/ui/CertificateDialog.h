#pragma once

#include <QByteArray>
#include <QDialog>
#include <QSslCertificate>
#include <QString>

// Shows a certificate that failed verification (subject, issuer, validity,
// SHA-256 fingerprint and why it was refused) and lets the user accept it
// for one server. Accepting is never the default: Enter and Escape cancel.
class TfrmCertificate : public QDialog {
  Q_OBJECT
 public:
  TfrmCertificate(const QString& serverName, const QSslCertificate& certificate, const QByteArray& fingerprint,
                  const QString& reason, QWidget* parent = nullptr);

  // "AB:CD:..." as users compare fingerprints.
  static QString FormatFingerprint(const QByteArray& sha256);
  // The certificate's details as shown, one "Label: value" per line.
  static QString Describe(const QSslCertificate& certificate, const QByteArray& fingerprint);

  // Modal; true when the user accepted the certificate.
  static bool Ask(QWidget* parent, const QString& serverName, const QSslCertificate& certificate,
                  const QByteArray& fingerprint, const QString& reason);
};
