#ifndef VELQOR_DIAGNOSTIC_H
#define VELQOR_DIAGNOSTIC_H

#include "NetworkInterface.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velqor {

struct DeviceDetails;

/// Something wrong with a device's addressing, or with the workstation's.
struct Diagnostic {
    enum class Kind {
        /// Outside the subnet of the interface it answered on: it can be
        /// re-addressed, but companion programs cannot reach it.
        WrongSubnet,
        /// Another serial answers from the same address.
        AddressConflict,
        /// Its serial answered from more than one address: several devices
        /// share it, and a change sent to it would move them all.
        SeveralAddresses,
        /// The system drops the answers of devices outside the interface's
        /// subnets: it has no route back to them through that interface.
        ReversePathFilter,
    };

    Kind kind;
    /// A short text for the user.
    std::string text;
    /// For a workstation diagnostic: the command that fixes it.
    std::string fix;

    /// A stable identifier for scripts, e.g. "wrong-subnet".
    std::string Id() const;
};

/// Fills in the warnings of every device; own lists the workstation's
/// networks, every address of every interface. A device heard on one address
/// of an interface but in the subnet of another of its addresses is named by
/// that one and is on no wrong subnet.
void Diagnose(std::vector<DeviceDetails> &devices, const std::vector<NetworkInterface> &own);

/// Why a search may have found nothing, for a person: the networks it
/// searched, the interfaces it could not use, and the likely causes.
std::string NothingFoundHint(const std::vector<NetworkInterface> &searched,
                             const std::vector<std::string> &withoutIpv4 = ListInterfacesWithoutIpv4());

using ReversePathCheck = std::function<std::optional<bool>(const NetworkInterface &, const Ipv4Bytes &)>;

/// What is wrong with the workstation's own networks.
std::vector<Diagnostic> DiagnoseWorkstation(const std::vector<NetworkInterface> &own,
                                            const ReversePathCheck &accepts = ReversePathAccepts);

} // namespace velqor

#endif // VELQOR_DIAGNOSTIC_H
