// Registers the standard classes with the class registry, so that the
// form-text reader can create them by name.
#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace ui {

void RegisterStandardClasses() {
  for (const TClassInfo* c : {
           &TForm::StaticClassInfo(), &TTimer::StaticClassInfo(), &TLabel::StaticClassInfo(),
           &TStaticText::StaticClassInfo(), &TEdit::StaticClassInfo(), &TMaskEdit::StaticClassInfo(),
           &TMemo::StaticClassInfo(), &TButton::StaticClassInfo(), &TBitBtn::StaticClassInfo(),
           &TCheckBox::StaticClassInfo(), &TRadioButton::StaticClassInfo(), &TComboBox::StaticClassInfo(),
           &TListBox::StaticClassInfo(), &TGroupBox::StaticClassInfo(), &TRadioGroup::StaticClassInfo(),
           &TPanel::StaticClassInfo(), &TImage::StaticClassInfo(), &TBevel::StaticClassInfo(),
           &TShape::StaticClassInfo(), &TPageControl::StaticClassInfo(), &TTabSheet::StaticClassInfo(),
           &TStatusBar::StaticClassInfo(), &TProgressBar::StaticClassInfo(), &TGauge::StaticClassInfo(),
           &TSpinEdit::StaticClassInfo(), &TTrackBar::StaticClassInfo(), &TSplitter::StaticClassInfo(),
           &TOpenDialog::StaticClassInfo(), &TSaveDialog::StaticClassInfo()})
    RegisterClass(*c);
}

}  // namespace ui
