#pragma once

#include "skin/skin_dialog.h"

#include <QPixmap>

class ImageButton;
class QLineEdit;

// The three choices of image mode that the image options dialog edits.
struct ImageOptionValues {
    QString saveFolder;      // ends with "/"
    quint32 rotateImage = 0; // 0 off, anything else on
    quint32 rotateAngle = 1; // 1 = 90, 2 = 180, 3 = 270 degrees

    bool operator==(const ImageOptionValues &) const = default;
};

// The options dialog of image mode: save folder with its browser, whether pictures are
// rotated and by which angle (three exclusive choices that look disabled while rotation is
// off). It edits a copy; Values() is the result after Apply (Accepted). Window thread.
//
//   ImageOptionValues values{m_settings.saveFolder, m_settings.rotateImage, m_settings.rotateAngle};
//   if (ImageOptionsDlg::Edit(values, this)) { ...copy back, store, show the folder... }
class ImageOptionsDlg : public SkinDialog {
    Q_OBJECT
public:
    enum ControlId {
        IdTitle = 1065,
        IdFolder = 1023,
        IdChooseFolder = 1083,
        IdRotate = 1084,
        IdRotate90 = 1085,
        IdRotate180 = 1086,
        IdRotate270 = 1087,
        IdApply = 1014,
        IdCancel = 1005,
    };

    explicit ImageOptionsDlg(const ImageOptionValues &values, QWidget *parent = nullptr);
    ~ImageOptionsDlg() override;

    // Opens the dialog modally on values; true, with values replaced by the edited ones,
    // when the user applied.
    static bool Edit(ImageOptionValues &values, QWidget *parent);

    // The edited copy; the angle is taken from the choices when Apply is pressed.
    ImageOptionValues Values() const { return m_values; }
    ImageButton *Button(int id) const;
    QLineEdit *FolderField() const { return m_folderField; }
    // False when the rotation picture could not be read (its area stays white).
    bool HasRotationPicture() const { return !m_picture.isNull(); }

protected:
    void PaintClient(QPainter &painter, const QRect &dirty) override;

private:
    void OnRotateClicked();
    void OnChooseFolder();
    void OnApply();
    void ShowAngleLook();

    ImageOptionValues m_values;
    QPixmap m_picture;
    QLineEdit *m_folderField = nullptr;
    ImageButton *m_rotate = nullptr;
    ImageButton *m_angles[3] = {};
};
