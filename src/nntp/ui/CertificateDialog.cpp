#include "nntp/ui/CertificateDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QString JoinInfo(const QSslCertificate& certificate, QSslCertificate::SubjectInfo field, bool subject) {
  const QStringList values = subject ? certificate.subjectInfo(field) : certificate.issuerInfo(field);
  return values.join(u", "_s);
}

QString DistinguishedName(const QSslCertificate& certificate, bool subject) {
  QStringList parts;
  const struct {
    QSslCertificate::SubjectInfo field;
    const char16_t* label;
  } kFields[] = {
      {QSslCertificate::CommonName, u"CN"},
      {QSslCertificate::Organization, u"O"},
      {QSslCertificate::OrganizationalUnitName, u"OU"},
      {QSslCertificate::LocalityName, u"L"},
      {QSslCertificate::StateOrProvinceName, u"ST"},
      {QSslCertificate::CountryName, u"C"},
  };
  for (const auto& f : kFields) {
    const QString value = JoinInfo(certificate, f.field, subject);
    if (!value.isEmpty()) parts << QString::fromUtf16(f.label) + u'=' + value;
  }
  return parts.isEmpty() ? u"(none)"_s : parts.join(u", "_s);
}

}  // namespace

QString TfrmCertificate::FormatFingerprint(const QByteArray& sha256) {
  return QString::fromLatin1(sha256.toHex(':').toUpper());
}

QString TfrmCertificate::Describe(const QSslCertificate& certificate, const QByteArray& fingerprint) {
  QStringList lines;
  lines << u"Subject: "_s + DistinguishedName(certificate, true);
  const QStringList altNames = certificate.subjectAlternativeNames().values(QSsl::DnsEntry);
  if (!altNames.isEmpty()) lines << u"Alternative names: "_s + altNames.join(u", "_s);
  lines << u"Issuer: "_s + DistinguishedName(certificate, false);
  const auto when = [](const QDateTime& t) {
    return t.isValid() ? t.toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss"_s) : u"(unknown)"_s;
  };
  lines << u"Valid from: "_s + when(certificate.effectiveDate());
  lines << u"Valid until: "_s + when(certificate.expiryDate());
  lines << u"SHA-256: "_s + FormatFingerprint(fingerprint);
  return lines.join(u'\n');
}

TfrmCertificate::TfrmCertificate(const QString& serverName, const QSslCertificate& certificate,
                                 const QByteArray& fingerprint, const QString& reason, QWidget* parent)
    : QDialog(parent) {
  setObjectName(u"frmCertificate"_s);
  setWindowTitle(u"Untrusted certificate"_s);
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(this);
  intro->setObjectName(u"lblIntro"_s);
  intro->setWordWrap(true);
  intro->setTextFormat(Qt::PlainText);
  QString text = u"The certificate presented by the news server \""_s + serverName + u"\" could not be verified."_s;
  if (!reason.isEmpty()) text += u"\n\n"_s + reason;
  text +=
      u"\n\nAccept it only if you know that this is the server's own certificate. Connections to this server will "
      u"then trust exactly this certificate; any other one will be refused again."_s;
  intro->setText(text);
  layout->addWidget(intro);

  auto* details = new QPlainTextEdit(this);
  details->setObjectName(u"txtDetails"_s);
  details->setReadOnly(true);
  details->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  details->setPlainText(Describe(certificate, fingerprint));
  details->setMinimumSize(560, 150);
  layout->addWidget(details);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* accept = buttons->addButton(u"Accept for this server"_s, QDialogButtonBox::AcceptRole);
  accept->setObjectName(u"btnAccept"_s);
  accept->setAutoDefault(false);
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(u"btnCancel"_s);
  cancel->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

bool TfrmCertificate::Ask(QWidget* parent, const QString& serverName, const QSslCertificate& certificate,
                          const QByteArray& fingerprint, const QString& reason) {
  TfrmCertificate dialog(serverName, certificate, fingerprint, reason, parent);
  return dialog.exec() == QDialog::Accepted;
}
