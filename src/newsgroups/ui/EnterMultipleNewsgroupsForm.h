#pragma once

#include <QDialog>

#include <cstdint>

class QCommandLinkButton;

// "Download Headers": how to download one newsgroup or several.
class TfrmEnterMultipleNewsgroups : public QDialog {
  Q_OBJECT
 public:
  // Choice codes; CHOICE_CANCEL when the dialog was cancelled.
  enum TChoice {
    CHOICE_CANCEL = 0,
    CHOICE_ALL = 1,
    CHOICE_NEW = 2,
    CHOICE_RANGE = 3,     // single newsgroup only
    CHOICE_PERCENT = 10,  // Number(): 1..99
    CHOICE_SAMPLE = 11    // Number(): how many of the newest headers
  };

  // lastMessage: the newsgroup's "LastMessage" (single mode; 0 when none).
  TfrmEnterMultipleNewsgroups(bool multiple, std::int64_t lastMessage, bool offerSample = true,
                              QWidget* parent = nullptr);

  TChoice Choice() const { return fChoice; }
  int Number() const { return fNumber; }

  QCommandLinkButton* AllButton() const { return fAll; }
  QCommandLinkButton* NewButton() const { return fNew; }
  QCommandLinkButton* RangeButton() const { return fRange; }
  QCommandLinkButton* PercentButton() const { return fPercent; }
  QCommandLinkButton* SampleButton() const { return fSample; }
  QCommandLinkButton* CancelButton() const { return fCancel; }

 private:
  void Choose(TChoice choice, int number = 0);
  void CustomPercent();
  void CustomSample();

  TChoice fChoice = CHOICE_CANCEL;
  int fNumber = 0;
  QCommandLinkButton* fAll;
  QCommandLinkButton* fNew;
  QCommandLinkButton* fRange;
  QCommandLinkButton* fPercent;
  QCommandLinkButton* fSample;
  QCommandLinkButton* fCancel;
};
