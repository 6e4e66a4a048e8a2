// SPDX-License-Identifier: MIT
#pragma once

#include <map>

// A group of controls of one kind that share one name and are told apart by an index.
// Indexes need not start at 0 or be contiguous (Text1 has only 5 and 6, Label1 only 6).
template <typename T>
class ControlArray
{
public:
    void add(int index, T *control) { m_members[index] = control; }
    T *operator[](int index) const
    {
        const auto it = m_members.find(index);
        return it == m_members.end() ? nullptr : it->second;
    }
    int count() const { return int(m_members.size()); }

    // Iterates the members in ascending index order, as pairs (index, control).
    auto begin() const { return m_members.begin(); }
    auto end() const { return m_members.end(); }

private:
    std::map<int, T *> m_members;
};
