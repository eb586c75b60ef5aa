#include "search/quartz_json.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <set>

#include "core/errors.h"

namespace tandrel {

std::vector<std::vector<std::vector<Instr32>>> generate_ecc_with_swap(const ECC& ecc) {
    std::vector<std::vector<std::vector<Instr32>>> exports;
    std::set<size_t> covered;
    const size_t m = ecc.members.size();
    for (size_t i = 0; i < m; ++i) {
        if (covered.count(i)) continue;
        const Permut32 unit = ecc.members[i].perm.inv();
        std::vector<std::vector<Instr32>> circuits;
        circuits.reserve(m);
        for (size_t j = 0; j < m; ++j) {
            const Permut32 p = unit * ecc.members[j].perm;
            if (p.is_identity()) covered.insert(j);
            circuits.push_back(with_swaps(ecc.members[j].instrs, p));
        }
        exports.push_back(std::move(circuits));
    }
    return exports;
}

Json ecc_to_json(const std::vector<std::vector<Instr32>>& circuits) {
    size_t max_qubit = 0;
    for (const auto& c : circuits)
        for (const Instr32& i : c)
            if (i.qargs.len() > 0) max_qubit = std::max<size_t>(max_qubit, i.largest_qubit());
    Json::Array out;
    out.reserve(circuits.size());
    for (const auto& c : circuits) {
        Json::Array gates;
        gates.reserve(c.size());
        for (const Instr32& i : c) {
            Json::Array qubits;
            for (uint8_t q : i.qargs) qubits.emplace_back("Q" + std::to_string(q));
            gates.emplace_back(Json::Array{Json(i.gate.str()), Json(qubits), Json(qubits)});
        }
        Json::Array header{Json(int64_t(max_qubit + 1)), Json(int64_t(c.size()))};
        out.emplace_back(Json::Array{Json(std::move(header)), Json(std::move(gates))});
    }
    return Json(std::move(out));
}

Json as_quartz(const ECCs& eccs) {
    static const char HEX[] = "0123456789abcdef";
    Json::Object classes;
    for (size_t n = 0; n < eccs.eccs.size(); ++n) {
        const ECC& e = eccs.eccs[n];
        if (e.members.size() < 2) continue;
        std::string hex;
        for (size_t v = n;; v >>= 4) {
            hex.insert(hex.begin(), HEX[v & 15]);
            if (v < 16) break;
        }
        const auto exports = generate_ecc_with_swap(e);
        for (size_t k = 0; k < exports.size(); ++k) classes.emplace(hex + "_" + std::to_string(k), ecc_to_json(exports[k]));
    }
    Json::Array header{Json(Json::Array{Json(0)}), Json(Json::Array{Json(0)})};
    return Json(Json::Array{Json(std::move(header)), Json(std::move(classes))});
}

void dump_quartz(const ECCs& eccs, const std::string& filepath) {
    const Json doc = as_quartz(eccs);
    const int fd = ::open(filepath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw FileError("Failed to create file: " + os_error_text(errno));
    std::FILE* f = ::fdopen(fd, "w");
    if (!f) {
        const int err = errno;
        ::close(fd);
        throw FileError("Failed to create file: " + os_error_text(err));
    }
    const bool ok = doc.write(f);
    const int err = errno;
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) throw FormatError("Failed to write JSON: " + os_error_text(ok ? errno : err));
}

}  // namespace tandrel
