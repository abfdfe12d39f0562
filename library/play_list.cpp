#include "library/library.h"

namespace zf::library {

void PlayList::replace(const QStringList& paths)
{
    m_entries = paths;
    m_index = 0;
}

void PlayList::addIfAbsent(const QString& path)
{
    for (const QString& entry : m_entries) {
        if (entry.compare(path, Qt::CaseInsensitive) == 0) {
            return;
        }
    }
    m_entries.append(path);
}

void PlayList::clear()
{
    m_entries.clear();
    m_index = 0;
}

bool PlayList::next()
{
    if (m_entries.isEmpty()) {
        return false;
    }
    m_index = m_index + 1 >= count() ? 0 : m_index + 1;
    return true;
}

bool PlayList::prior()
{
    if (m_entries.isEmpty()) {
        return false;
    }
    m_index = m_index <= 0 ? count() - 1 : m_index - 1;
    return true;
}

QString fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

bool passesTypeCheck(const QString& path)
{
    const QString name = fileNamePart(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) {
        return false;
    }
    const QStringView extension = QStringView(name).mid(dot);
    if (extension.size() != 4) {
        return false;
    }
    // Only the ASCII letters change case: a look-alike character never passes.
    static constexpr char16_t kWanted[] = u".SWF";
    for (qsizetype i = 0; i < 4; ++i) {
        char16_t c = extension.at(i).unicode();
        if (c >= u'a' && c <= u'z') {
            c = char16_t(c - u'a' + u'A');
        }
        if (c != kWanted[i]) {
            return false;
        }
    }
    return true;
}

} // namespace zf::library
