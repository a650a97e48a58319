#include "xdvd.h"
#include <algorithm>

namespace {

struct Node {
    std::string name;
    bool dir = true;
    uint32_t size = 0;        // a file's bytes, a folder's table bytes
    int item = -1;            // -1: the top, or a folder made on the way
    std::vector<int> kids;    // sorted by name without letter case
    std::vector<int> left, right; // per kid: the kids below it in the tree, -1 none
    std::vector<int> order;   // kids in the order their entries are written
    std::vector<uint32_t> at; // per kid: its entry's offset in the table
    uint32_t sector = 0;
};

std::string folded(const std::string &s)
{
    std::string f = s;
    for (char &c : f)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return f;
}

int child(std::vector<Node> &nodes, int dir, const std::string &name, bool is_dir)
{
    for (int k : nodes[dir].kids)
        if (nodes[k].name == name)
            return k;
    Node n;
    n.name = name;
    n.dir = is_dir;
    nodes.push_back(n);
    nodes[dir].kids.push_back((int)nodes.size() - 1);
    return (int)nodes.size() - 1;
}

// The tree over a folder's sorted kids, entries written in pre-order (the top
// of the tree first, at offset 0), never across a sector boundary.
void shape(std::vector<Node> &nodes, Node &d, bool chain, bool empty_sector)
{
    std::sort(d.kids.begin(), d.kids.end(),
              [&](int a, int b) { return folded(nodes[a].name) < folded(nodes[b].name); });
    size_t n = d.kids.size();
    d.left.assign(n, -1);
    d.right.assign(n, -1);
    d.at.assign(n, 0);
    std::vector<std::pair<size_t, size_t>> todo; // kid ranges [lo, hi) still to place
    if (n)
        todo.push_back({0, n});
    while (!todo.empty()) {
        auto r = todo.back();
        todo.pop_back();
        size_t mid = chain ? r.first : r.first + (r.second - r.first) / 2;
        d.order.push_back((int)mid);
        if (mid + 1 < r.second) {
            d.right[mid] = (int)(chain ? mid + 1 : mid + 1 + (r.second - mid - 1) / 2);
            todo.push_back({mid + 1, r.second});
        }
        if (r.first < mid) {
            d.left[mid] = (int)(r.first + (mid - r.first) / 2);
            todo.push_back({r.first, mid});
        }
    }
    uint32_t pos = 0;
    for (int k : d.order) {
        uint32_t len = 14 + (uint32_t)nodes[d.kids[k]].name.size();
        if (pos % XDVD_SECTOR + len > XDVD_SECTOR)
            pos = (pos / XDVD_SECTOR + 1) * XDVD_SECTOR;
        d.at[k] = pos;
        pos += (len + 3) & ~3u;
    }
    d.size = (pos + XDVD_SECTOR - 1) / XDVD_SECTOR * XDVD_SECTOR;
    if (!n && empty_sector)
        d.size = XDVD_SECTOR;
}

void table(std::string &head, const std::vector<Node> &nodes, const Node &d)
{
    uint64_t base = (uint64_t)d.sector * XDVD_SECTOR;
    for (size_t k = 0; k < d.kids.size(); k++) {
        const Node &e = nodes[d.kids[k]];
        uint64_t at = base + d.at[k];
        xdvd_put(head, at, d.left[k] < 0 ? 0 : d.at[d.left[k]] / 4, 2);
        xdvd_put(head, at + 2, d.right[k] < 0 ? 0 : d.at[d.right[k]] / 4, 2);
        xdvd_put(head, at + 4, e.sector, 4);
        xdvd_put(head, at + 8, e.size, 4);
        head[at + 12] = (char)(e.dir ? 0x10 : 0x20);
        head[at + 13] = (char)e.name.size();
        head.replace(at + 14, e.name.size(), e.name);
    }
}

// ECMA-119's numbers: little-endian, then the same big-endian.
void both(std::string &head, uint64_t at, uint64_t v, int n)
{
    xdvd_put(head, at, v, n);
    for (int i = 0; i < n; i++)
        head[at + n + i] = (char)(v >> (8 * (n - 1 - i)));
}

void descriptors(std::string &head, const Node &root, const XdvdPlan &plan, uint64_t part_bytes)
{
    static const char k_mark[] = "MICROSOFT*XBOX*MEDIA";
    const uint64_t ecma = 0x8000, desc = 0x10000;
    head[ecma] = 1; // the primary volume descriptor, then the set's terminator
    head.replace(ecma + 1, 5, "CD001");
    head[ecma + 6] = 1;
    both(head, ecma + 80, part_bytes / XDVD_SECTOR, 4); // the volume's sectors
    both(head, ecma + 128, XDVD_SECTOR, 2);             // the sector size
    head[ecma + 0x800] = (char)0xFF;
    head.replace(ecma + 0x801, 5, "CD001");
    head[ecma + 0x806] = 1;
    head.replace(desc, 20, k_mark);
    xdvd_put(head, desc + 0x14, root.sector, 4);
    xdvd_put(head, desc + 0x18, root.size, 4);
    xdvd_put(head, desc + 0x1C, plan.time, 8);
    head.replace(desc + 0x7EC, 20, k_mark);
}

} // namespace

void xdvd_put(std::string &b, uint64_t at, uint64_t v, int n)
{
    for (int i = 0; i < n; i++)
        b[at + i] = (char)(v >> (8 * i));
}

XdvdLayout xdvd_layout(const std::vector<XdvdItem> &items, const XdvdPlan &plan)
{
    std::vector<Node> nodes(1);
    for (size_t i = 0; i < items.size(); i++) {
        int at = 0;
        const std::string &p = items[i].path;
        for (size_t from = 0;;) {
            size_t cut = p.find('\\', from);
            bool last = cut == std::string::npos;
            at = child(nodes, at, p.substr(from, last ? std::string::npos : cut - from), last ? items[i].dir : true);
            if (last)
                break;
            from = cut + 1;
        }
        nodes[at].item = (int)i;
        if (!items[i].dir)
            nodes[at].size = items[i].size;
    }
    // Folders in the order of a walk from the top: their tables, then the files.
    std::vector<int> dirs = {0}, files;
    for (size_t k = 0; k < dirs.size(); k++) {
        shape(nodes, nodes[dirs[k]], plan.chain, plan.empty_sector);
        for (int c : nodes[dirs[k]].kids)
            (nodes[c].dir ? dirs : files).push_back(c);
    }
    uint64_t next = XDVD_ROOT;
    for (int d : dirs) {
        nodes[d].sector = nodes[d].size ? (uint32_t)next : 0;
        next += nodes[d].size / XDVD_SECTOR;
    }
    XdvdLayout out;
    out.head.assign(next * XDVD_SECTOR, '\0');
    for (int d : dirs) // a table's room past its entries is 0xFF
        out.head.replace((uint64_t)nodes[d].sector * XDVD_SECTOR, nodes[d].size, nodes[d].size, (char)0xFF);
    for (int f : files) {
        nodes[f].sector = nodes[f].size ? (uint32_t)next : 0;
        next += (nodes[f].size + XDVD_SECTOR - 1) / XDVD_SECTOR;
    }
    out.part_bytes = (next * XDVD_SECTOR + 0xFFFF) & ~(uint64_t)0xFFFF;
    descriptors(out.head, nodes[0], plan, out.part_bytes);
    out.sector.assign(items.size(), 0);
    out.entry.assign(items.size(), 0);
    for (int d : dirs) {
        table(out.head, nodes, nodes[d]);
        for (size_t k = 0; k < nodes[d].kids.size(); k++) {
            const Node &e = nodes[nodes[d].kids[k]];
            if (e.item >= 0) {
                out.sector[e.item] = e.sector;
                out.entry[e.item] = (uint64_t)nodes[d].sector * XDVD_SECTOR + nodes[d].at[k];
            }
        }
    }
    return out;
}
