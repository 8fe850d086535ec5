#include "db/frmTreeView.h"

#include "db/elementstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace db {

namespace {

// How long a rebuild runs before it lets pending events run again.
constexpr qint64 kEventSliceMs = 5;

// Tells whether the press of a click already chose its node: the click then chooses nothing
// more, so that one click loads an element once.
class ElementTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    bool pressChose() const { return m_pressChose; }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        const QList<QTreeWidgetItem*> before = selectedItems();
        QTreeWidget::mousePressEvent(event);
        m_pressChose = selectedItems() != before;
    }

private:
    bool m_pressChose = false;
};

} // namespace

ElementTreeView::ElementTreeView(QWidget* parent)
    : QGroupBox(QStringLiteral("Select element: (0 items)"), parent) {
    setObjectName(QStringLiteral("frmTreeView"));
    auto* tree = new ElementTree(this);
    m_tree = tree;
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setAccessibleDescription(QStringLiteral("TreeView1"));
    m_tree->setColumnCount(1);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setIconSize(QSize(20, 20));
    m_tree->setAccessibleName(QStringLiteral("Select element:"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);

    const auto choose = [this](QTreeWidgetItem* item) {
        if (item)
            emit nodeChosen(item->data(0, Qt::UserRole).toString(), item->text(0));
    };
    // By keys (arrows, Home/End) or by the press of a click; Enter, a double click, and a click
    // on the node that was already chosen choose it again.
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this,
            [this, choose] { choose(m_tree->selectedItems().value(0)); });
    connect(m_tree, &QTreeWidget::itemActivated, this,
            [choose](QTreeWidgetItem* item) { choose(item); });
    connect(m_tree, &QTreeWidget::itemClicked, this, [choose, tree](QTreeWidgetItem* item) {
        if (!tree->pressChose())
            choose(item);
    });
}

void ElementTreeView::setPictures(const QIcon& encoder, const QIcon& decoder) {
    m_encoderPicture = encoder;
    m_decoderPicture = decoder;
}

void ElementTreeView::setCaption() {
    setTitle(QStringLiteral("Select element: (%1 items)").arg(m_tree->topLevelItemCount()));
}

void ElementTreeView::clear() {
    m_lstHidden.clear();
    m_tree->clear();
    emit rebuilding();
    setCaption();
}

void ElementTreeView::Load_Config() {
    if (m_loading) {
        m_reloadPending = true;
        return;
    }
    m_loading = true;
    do {
        m_reloadPending = false;
        clear();
        const ElementList list = ElementStore().list();
        m_lstHidden = list.hidden;
        if (list.empty == ElementList::Empty::MissingFile) {
            m_inform(kMissingDatabaseText);
        } else if (list.empty == ElementList::Empty::NoSections) {
            m_inform(kEmptyDatabaseText);
        } else {
            fill(list);
        }
        setCaption();
        if (!m_reloadPending && !m_stopped)
            emit rebuilt(list.encoders);
    } while (m_reloadPending && !m_stopped);
    m_loading = false;
}

void ElementTreeView::fill(const ElementList& list) {
    // The nodes are made apart from the tree and added in one go, so that the tree lays
    // itself out once, not once per node. Pending events run before the first node and then
    // every few milliseconds; a rebuild asked for meanwhile is only noted.
    QList<QTreeWidgetItem*> items;
    items.reserve(list.nodes.size());
    QElapsedTimer slice;
    for (const ElementNode& node : list.nodes) {
        if (!slice.isValid() || slice.hasExpired(kEventSliceMs)) {
            QCoreApplication::processEvents();
            slice.start();
            if (m_stopped || m_reloadPending) {
                qDeleteAll(items);
                return;
            }
        }
        auto* item = new QTreeWidgetItem(QStringList(node.text));
        item->setData(0, Qt::UserRole, node.key);
        item->setIcon(0, node.encoder ? m_encoderPicture : m_decoderPicture);
        items.append(item);
    }
    m_tree->addTopLevelItems(items);
}

} // namespace db
