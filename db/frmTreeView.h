#pragma once
// The element list of the main window: the frame `frmTreeView` with the tree `TreeView1`, one
// node per element of nms.ini, and the section names `lstHidden` that go with it.
#include "db/elementlist.h"

#include <QGroupBox>
#include <QIcon>
#include <functional>

class QTreeWidget;

namespace db {

class ElementTreeView : public QGroupBox {
    Q_OBJECT
public:
    explicit ElementTreeView(QWidget* parent = nullptr);

    // The pictures of the encoder's and every other element's node, selected or not.
    void setPictures(const QIcon& encoder, const QIcon& decoder);
    // How the two "Local database is empty." boxes are shown.
    void setInform(std::function<void(const QString&)> inform) { m_inform = std::move(inform); }

    const QStringList& lstHidden() const { return m_lstHidden; }
    QTreeWidget* tree() const { return m_tree; }

    // Rebuilds the list from nms.ini. One asked for while one runs (from an event let through
    // meanwhile) runs after it, never inside it.
    void Load_Config();
    // The list emptied, as a discovery's opening wants it.
    void clear();
    // The window is closing: a rebuild under way stops.
    void stop() { m_stopped = true; }

signals:
    // The user chose a node (click, keys, Enter), once per choice.
    void nodeChosen(const QString& key, const QString& text);
    // The list is being rebuilt: the encoders and the level bar are emptied.
    void rebuilding();
    // The encoders' node texts, once the list stands.
    void rebuilt(const QStringList& encoders);

private:
    void setCaption();
    void fill(const ElementList& list);

    QTreeWidget* m_tree;
    QStringList m_lstHidden;
    QIcon m_encoderPicture, m_decoderPicture;
    std::function<void(const QString&)> m_inform;
    bool m_loading = false;
    bool m_reloadPending = false;
    bool m_stopped = false;
};

} // namespace db
