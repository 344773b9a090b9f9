#pragma once
// "Paketkonfiguration": a package's file (for a new package only), name, author and description.
// OK needs a name, and for a new package a file name (".vma" is added when missing).

#include <QDialog>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace rr {

class TPackageWindow : public QDialog {
  Q_OBJECT

 public:
  struct TFields {
    std::string File, Name, Author, Description;
  };
  // newPackage: the file can be chosen; otherwise it is shown read-only.
  TPackageWindow(QWidget* parent, bool newPackage);
  void SetFields(const TFields& fields);
  TFields Fields() const;
  QLineEdit* FileEdit() const { return FFile; }
  QLineEdit* NameEdit() const { return FName; }
  QLineEdit* AuthorEdit() const { return FAuthor; }
  QPlainTextEdit* DescriptionEdit() const { return FDescription; }
  QPushButton* OkButton() const { return FOk; }

 private:
  void UpdateOk();
  bool FNew;
  QLineEdit* FFile;
  QLineEdit* FName;
  QLineEdit* FAuthor;
  QPlainTextEdit* FDescription;
  QPushButton* FOk;
};

}  // namespace rr
