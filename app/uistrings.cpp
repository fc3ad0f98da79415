#include "app/uistrings.h"

#include <algorithm>

#include "app/languageprovider.h"
#include "common/assertion.h"
#include "common/textconversion.h"

namespace orv {
namespace {

constexpr char16_t kCodedMarker = u'\u0298';
constexpr uint8_t kPadValue = 64;
constexpr uint8_t kInvalidValue = 0x80;

// Each text is U+0298 followed by the Base64 text of its UTF-8 bytes.
constexpr CUiTexts kEnTexts = {
    u"\u0298T3J2ZWwgRmlybXdhcmUgVXBkYXRlIFV0aWxpdHk=",
    u"\u0298V2FpdGluZyBmb3IgTG9hZGVyIE1vZGU=",
    u"\u0298V2FpdGluZyBmb3IgRGV2aWNlIE1vZGU=",
    u"\u0298VXBkYXRpbmcsIHRoaXMgbWF5IHRha2Ugc2V2ZXJhbCBtaW51dGVz",
    u"\u0298UHJvZ3JhbW1pbmcgU3VjY2Vzc2Z1bA==",
    u"\u0298UHJvZ3JhbW1pbmcgRmFpbGVk",
    u"\u0298RmlybXdhcmUgd2FzIHN1Y2Nlc3NmdWxseSB1cGRhdGVkLg==",
    u"\u0298RmlybXdhcmUgZmFpbGVkIHRvIHVwZGF0ZS4gUGxlYXNlIHJlYXR0YWNoIHlvdXIgZGV2aWNlIGFuZCB0cnkgYWdhaW4u",
    u"\u0298RXJyb3I6IE5vIHN1cHBvcnRlZCB0YWJsZXQgaXMgY29ubmVjdGVkLiAgUGxlYXNlIGNvbm5lY3QgYSB0YWJsZXQu",
    u"\u0298RXJyb3I6IFVwZGF0ZSB0YXJnZXQgZGV2aWNlIG5vdCBmb3VuZC4gUGxlYXNlIHJlLWRvd25sb2FkIHRoZSBwYWNrYWdlLg==",
    u"\u0298RXJyb3I6IEludmFsaWQgc3RhdGUgcmVzdWx0ZWQgaW4gdXBkYXRlciB0ZXJtaW5hdGlvbi4=",
    u"\u0298RXJyb3I6IEludmFsaWQgRmlybXdhcmUgdXBkYXRlIGZpbGUuIFBsZWFzZSByZS1kb3dubG9hZCB0aGUgcGFja2FnZS4=",
    u"\u0298Q2FuY2Vs",
    u"\u0298VXBkYXRl",
    u"\u0298VGhpcyB1cGRhdGUgbWF5IHRha2UgdXAgdG8gMTUgbWludXRlcy4gRmFpbHVyZSB0byBmb2xsb3cgdGhlc2Ugc3RlcHMgbWF5IG"
    u"JyZWFrIHlvdXIgZGV2aWNlOg==",
    u"\u0298RG8gbm90IHNodXQgZG93biwgcmVzdGFydCwgb3IgYWxsb3cgeW91ciBjb21wdXRlciB0byBzbGVlcA==",
    u"\u0298RG8gbm90IHVucGx1ZyB0aGUgcG93ZXIgb3IgVVNCIGNhYmxlcw==",
    u"\u0298RG8gbm90IHRvdWNoIGJ1dHRvbnMgb24gT3J2ZWwgZGV2aWNl",
    u"\u0298JTEsIGJvYXJkICUyIG9mICUz",
    u"\u0298JTEgb2YgJTIgYnl0ZXM=",
    u"\u0298JTEgZWxhcHNlZA==",
    u"\u0298YWJvdXQgJTEgbGVmdA==",
    u"\u0298U3RhdHVz",
    u"\u0298Q2FuY2VsIHJlZnVzZWQ6IGEgYm9hcmQgaXMgaW4gb3IgbmVhciBsb2FkZXIgbW9kZS4gUGxlYXNlIHdhaXQu",
    u"\u0298Q2FuY2VsbGVkIGF0IHRoZSBwcmUtdXBkYXRlIHdhcm5pbmc7IG5vIGJvYXJkIHdhcyB0b3VjaGVkLg==",
    u"\u0298Q2FuY2VsbGVkIGJ5IHRoZSB1c2VyOyAlMSBvZiAlMiBib2FyZHMgd2VyZSB1cGRhdGVkLg==",
    u"\u0298RXJyb3I6IEludmFsaWQgdXBkYXRlIG9wdGlvbnMuIFBsZWFzZSByZS1kb3dubG9hZCB0aGUgcGFja2FnZS4=",
    u"\u0298RXJyb3I6IEEgZmlsZSBvZiB0aGUgdXBkYXRlIHBhY2thZ2UgaXMgbWlzc2luZy4gUGxlYXNlIHJlLWRvd25sb2FkIHRoZSB"
    u"wYWNrYWdlLg==",
};

constexpr CUiTexts kDeTexts = {
    u"\u0298T3J2ZWwgRmlybXdhcmUtQWt0dWFsaXNpZXJ1bmdzcHJvZ3JhbW0=",
    u"\u0298V2FydGVuIGF1ZiBkZW4gTG9hZGVyLU1vZHVz",
    u"\u0298V2FydGVuIGF1ZiBkZW4gR2Vyw6R0ZW1vZHVz",
    u"\u0298QWt0dWFsaXNpZXJ1bmcgbMOkdWZ0LCBkaWVzIGthbm4gZWluaWdlIE1pbnV0ZW4gZGF1ZXJu",
    u"\u0298UHJvZ3JhbW1pZXJ1bmcgZXJmb2xncmVpY2g=",
    u"\u0298UHJvZ3JhbW1pZXJ1bmcgZmVobGdlc2NobGFnZW4=",
    u"\u0298RGllIEZpcm13YXJlIHd1cmRlIGVyZm9sZ3JlaWNoIGFrdHVhbGlzaWVydC4=",
    u"\u0298RGllIEZpcm13YXJlIGtvbm50ZSBuaWNodCBha3R1YWxpc2llcnQgd2VyZGVuLiBCaXR0ZSBzY2hsaWXDn2VuIFNpZSBJaHIgR2"
    u"Vyw6R0IGVybmV1dCBhbiB1bmQgdmVyc3VjaGVuIFNpZSBlcyBub2NoIGVpbm1hbC4=",
    u"\u0298RmVobGVyOiBFcyBpc3Qga2VpbiB1bnRlcnN0w7x0enRlcyBUYWJsZXR0IGFuZ2VzY2hsb3NzZW4uIEJpdHRlIHNjaGxpZcOfZW"
    u"4gU2llIGVpbiBUYWJsZXR0IGFuLg==",
    u"\u0298RmVobGVyOiBEYXMgWmllbGdlcsOkdCBkZXIgQWt0dWFsaXNpZXJ1bmcgd3VyZGUgbmljaHQgZ2VmdW5kZW4uIEJpdHRlIGxhZG"
    u"VuIFNpZSBkYXMgUGFrZXQgZXJuZXV0IGhlcnVudGVyLg==",
    u"\u0298RmVobGVyOiBFaW4gdW5nw7xsdGlnZXIgWnVzdGFuZCBoYXQgenVtIEJlZW5kZW4gZGVzIEFrdHVhbGlzaWVydW5nc3Byb2dyYW"
    u"1tcyBnZWbDvGhydC4=",
    u"\u0298RmVobGVyOiBVbmfDvGx0aWdlIEZpcm13YXJlLUFrdHVhbGlzaWVydW5nc2RhdGVpLiBCaXR0ZSBsYWRlbiBTaWUgZGFzIFBha2"
    u"V0IGVybmV1dCBoZXJ1bnRlci4=",
    u"\u0298QWJicmVjaGVu",
    u"\u0298QWt0dWFsaXNpZXJlbg==",
    u"\u0298RGllc2UgQWt0dWFsaXNpZXJ1bmcga2FubiBiaXMgenUgMTUgTWludXRlbiBkYXVlcm4uIFdlbm4gU2llIGRpZSBmb2xnZW5kZW"
    u"4gSGlud2Vpc2UgbmljaHQgYmVhY2h0ZW4sIGthbm4gSWhyIEdlcsOkdCBiZXNjaMOkZGlndCB3ZXJkZW46",
    u"\u0298Q29tcHV0ZXIgbmljaHQgaGVydW50ZXJmYWhyZW4sIG5ldSBzdGFydGVuIG9kZXIgaW4gZGVuIEVuZXJnaWVzcGFybW9kdXMgd2"
    u"VjaHNlbG4gbGFzc2Vu",
    u"\u0298TmV0emthYmVsIHVuZCBVU0ItS2FiZWwgbmljaHQgYWJ6aWVoZW4=",
    u"\u0298S2VpbmUgVGFzdGVuIGFtIE9ydmVsLUdlcsOkdCBiZXLDvGhyZW4=",
    u"\u0298JTEsIFBsYXRpbmUgJTIgdm9uICUz",
    u"\u0298JTEgdm9uICUyIEJ5dGVz",
    u"\u0298JTEgdmVyZ2FuZ2Vu",
    u"\u0298bm9jaCBldHdhICUx",
    u"\u0298U3RhdHVz",
    u"\u0298QWJicmVjaGVuIG5pY2h0IG3DtmdsaWNoOiBFaW5lIFBsYXRpbmUgaXN0IGltIG9kZXIga3VyeiB2b3IgZGVtIExvYWRl"
    u"ci1Nb2R1cy4gQml0dGUgd2FydGVuLg==",
    u"\u0298QmVpIGRlciBXYXJudW5nIHZvciBkZXIgQWt0dWFsaXNpZXJ1bmcgYWJnZWJyb2NoZW47IGtlaW5lIFBsYXRpbmUgd3Vy"
    u"ZGUgdmVyw6RuZGVydC4=",
    u"\u0298Vm9tIEJlbnV0emVyIGFiZ2Vicm9jaGVuOyAlMSB2b24gJTIgUGxhdGluZW4gd3VyZGVuIGFrdHVhbGlzaWVydC4=",
    u"\u0298RmVobGVyOiBVbmfDvGx0aWdlIEFrdHVhbGlzaWVydW5nc29wdGlvbmVuLiBCaXR0ZSBsYWRlbiBTaWUgZGFzIFBha2V0IGV"
    u"ybmV1dCBoZXJ1bnRlci4=",
    u"\u0298RmVobGVyOiBFaW5lIERhdGVpIGRlcyBBa3R1YWxpc2llcnVuZ3NwYWtldHMgZmVobHQuIEJpdHRlIGxhZGVuIFNpZSBkYXM"
    u"gUGFrZXQgZXJuZXV0IGhlcnVudGVyLg==",
};

constexpr CUiTexts kEsTexts = {
    u"\u0298VXRpbGlkYWQgZGUgYWN0dWFsaXphY2nDs24gZGUgZmlybXdhcmUgZGUgT3J2ZWw=",
    u"\u0298RXNwZXJhbmRvIGVsIG1vZG8gZGUgY2FyZ2Fkb3I=",
    u"\u0298RXNwZXJhbmRvIGVsIG1vZG8gZGUgZGlzcG9zaXRpdm8=",
    u"\u0298QWN0dWFsaXphbmRvLCBlc3RvIHB1ZWRlIHRhcmRhciB2YXJpb3MgbWludXRvcw==",
    u"\u0298UHJvZ3JhbWFjacOzbiBjb3JyZWN0YQ==",
    u"\u0298RXJyb3IgZGUgcHJvZ3JhbWFjacOzbg==",
    u"\u0298RWwgZmlybXdhcmUgc2UgaGEgYWN0dWFsaXphZG8gY29ycmVjdGFtZW50ZS4=",
    u"\u0298Tm8gc2UgaGEgcG9kaWRvIGFjdHVhbGl6YXIgZWwgZmlybXdhcmUuIFZ1ZWx2YSBhIGNvbmVjdGFyIGVsIGRpc3Bvc2l0aXZvIG"
    u"UgaW50w6ludGVsbyBkZSBudWV2by4=",
    u"\u0298RXJyb3I6IE5vIGhheSBuaW5ndW5hIHRhYmxldGEgY29tcGF0aWJsZSBjb25lY3RhZGEuIENvbmVjdGUgdW5hIHRhYmxldGEu",
    u"\u0298RXJyb3I6IE5vIHNlIGhhIGVuY29udHJhZG8gZWwgZGlzcG9zaXRpdm8gZGUgZGVzdGlubyBkZSBsYSBhY3R1YWxpemFjacOzbi"
    u"4gVnVlbHZhIGEgZGVzY2FyZ2FyIGVsIHBhcXVldGUu",
    u"\u0298RXJyb3I6IFVuIGVzdGFkbyBubyB2w6FsaWRvIGhhIHByb3ZvY2FkbyBlbCBjaWVycmUgZGVsIHByb2dyYW1hIGRlIGFjdHVhbG"
    u"l6YWNpw7NuLg==",
    u"\u0298RXJyb3I6IEFyY2hpdm8gZGUgYWN0dWFsaXphY2nDs24gZGUgZmlybXdhcmUgbm8gdsOhbGlkby4gVnVlbHZhIGEgZGVzY2FyZ2"
    u"FyIGVsIHBhcXVldGUu",
    u"\u0298Q2FuY2VsYXI=",
    u"\u0298QWN0dWFsaXphcg==",
    u"\u0298RXN0YSBhY3R1YWxpemFjacOzbiBwdWVkZSB0YXJkYXIgaGFzdGEgMTUgbWludXRvcy4gU2kgbm8gc2lndWUgZXN0YXMgaW5kaW"
    u"NhY2lvbmVzLCBlbCBkaXNwb3NpdGl2byBwb2Ryw61hIGRhw7FhcnNlOg==",
    u"\u0298Tm8gYXBhZ3VlIG5pIHJlaW5pY2llIGVsIGVxdWlwbywgbmkgZGVqZSBxdWUgZW50cmUgZW4gc3VzcGVuc2nDs24=",
    u"\u0298Tm8gZGVzY29uZWN0ZSBlbCBjYWJsZSBkZSBhbGltZW50YWNpw7NuIG5pIGxvcyBjYWJsZXMgVVNC",
    u"\u0298Tm8gdG9xdWUgbG9zIGJvdG9uZXMgZGVsIGRpc3Bvc2l0aXZvIE9ydmVs",
    u"\u0298JTEsIHBsYWNhICUyIGRlICUz",
    u"\u0298JTEgZGUgJTIgYnl0ZXM=",
    u"\u0298JTEgdHJhbnNjdXJyaWRv",
    u"\u0298cXVlZGFuIHVub3MgJTE=",
    u"\u0298RXN0YWRv",
    u"\u0298Q2FuY2VsYWNpw7NuIHJlY2hhemFkYTogdW5hIHBsYWNhIGVzdMOhIGVuIG1vZG8gZGUgY2FyZ2Fkb3IgbyBhIHB1bnRv"
    u"IGRlIGVudHJhciBlbiDDqWwuIEVzcGVyZS4=",
    u"\u0298Q2FuY2VsYWRvIGVuIGxhIGFkdmVydGVuY2lhIHByZXZpYSBhIGxhIGFjdHVhbGl6YWNpw7NuOyBubyBzZSBoYSBtb2Rp"
    u"ZmljYWRvIG5pbmd1bmEgcGxhY2Eu",
    u"\u0298Q2FuY2VsYWRvIHBvciBlbCB1c3VhcmlvOyBzZSBoYW4gYWN0dWFsaXphZG8gJTEgZGUgJTIgcGxhY2FzLg==",
    u"\u0298RXJyb3I6IE9wY2lvbmVzIGRlIGFjdHVhbGl6YWNpw7NuIG5vIHbDoWxpZGFzLiBWdWVsdmEgYSBkZXNjYXJnYXIgZWwgcGF"
    u"xdWV0ZS4=",
    u"\u0298RXJyb3I6IEZhbHRhIHVuIGFyY2hpdm8gZGVsIHBhcXVldGUgZGUgYWN0dWFsaXphY2nDs24uIFZ1ZWx2YSBhIGRlc2Nhcmd"
    u"hciBlbCBwYXF1ZXRlLg==",
};

constexpr CUiTexts kFrTexts = {
    u"\u0298VXRpbGl0YWlyZSBkZSBtaXNlIMOgIGpvdXIgZHUgbWljcm9sb2dpY2llbCBPcnZlbA==",
    u"\u0298RW4gYXR0ZW50ZSBkdSBtb2RlIGNoYXJnZXVy",
    u"\u0298RW4gYXR0ZW50ZSBkdSBtb2RlIHDDqXJpcGjDqXJpcXVl",
    u"\u0298TWlzZSDDoCBqb3VyIGVuIGNvdXJzLCBjZXR0ZSBvcMOpcmF0aW9uIHBldXQgcHJlbmRyZSBwbHVzaWV1cnMgbWludXRlcw==",
    u"\u0298UHJvZ3JhbW1hdGlvbiByw6l1c3NpZQ==",
    u"\u0298w4ljaGVjIGRlIGxhIHByb2dyYW1tYXRpb24=",
    u"\u0298TGUgbWljcm9sb2dpY2llbCBhIMOpdMOpIG1pcyDDoCBqb3VyIGF2ZWMgc3VjY8Oocy4=",
    u"\u0298TGEgbWlzZSDDoCBqb3VyIGR1IG1pY3JvbG9naWNpZWwgYSDDqWNob3XDqS4gVmV1aWxsZXogcmVjb25uZWN0ZXIgdm90cmUgcM"
    u"OpcmlwaMOpcmlxdWUgZXQgcsOpZXNzYXllci4=",
    u"\u0298RXJyZXVywqA6IGF1Y3VuZSB0YWJsZXR0ZSBwcmlzZSBlbiBjaGFyZ2Ugbidlc3QgY29ubmVjdMOpZS4gVmV1aWxsZXogY29ubm"
    u"VjdGVyIHVuZSB0YWJsZXR0ZS4=",
    u"\u0298RXJyZXVywqA6IHDDqXJpcGjDqXJpcXVlIGNpYmxlIGRlIGxhIG1pc2Ugw6Agam91ciBpbnRyb3V2YWJsZS4gVmV1aWxsZXogdM"
    u"OpbMOpY2hhcmdlciDDoCBub3V2ZWF1IGxlIHBhY2thZ2Uu",
    u"\u0298RXJyZXVywqA6IHVuIMOpdGF0IG5vbiB2YWxpZGUgYSBlbnRyYcOubsOpIGwnYXJyw6p0IGR1IHByb2dyYW1tZSBkZSBtaXNlIM"
    u"OgIGpvdXIu",
    u"\u0298RXJyZXVywqA6IGZpY2hpZXIgZGUgbWlzZSDDoCBqb3VyIGR1IG1pY3JvbG9naWNpZWwgbm9uIHZhbGlkZS4gVmV1aWxsZXogdM"
    u"OpbMOpY2hhcmdlciDDoCBub3V2ZWF1IGxlIHBhY2thZ2Uu",
    u"\u0298QW5udWxlcg==",
    u"\u0298TWV0dHJlIMOgIGpvdXI=",
    u"\u0298Q2V0dGUgbWlzZSDDoCBqb3VyIHBldXQgcHJlbmRyZSBqdXNxdSfDoCAxNSBtaW51dGVzLiBMZSBub24tcmVzcGVjdCBkZSBjZX"
    u"MgY29uc2lnbmVzIHBldXQgZW5kb21tYWdlciB2b3RyZSBww6lyaXBow6lyaXF1ZcKgOg==",
    u"\u0298TifDqXRlaWduZXogcGFzIGV0IG5lIHJlZMOpbWFycmV6IHBhcyB2b3RyZSBvcmRpbmF0ZXVyLCBldCBuZSBsZSBsYWlzc2V6IH"
    u"BhcyBwYXNzZXIgZW4gdmVpbGxl",
    u"\u0298TmUgZMOpYnJhbmNoZXogcGFzIGxlcyBjw6JibGVzIGQnYWxpbWVudGF0aW9uIG91IFVTQg==",
    u"\u0298TmUgdG91Y2hleiBwYXMgbGVzIGJvdXRvbnMgZHUgcMOpcmlwaMOpcmlxdWUgT3J2ZWw=",
    u"\u0298JTEsIGNhcnRlICUyIHN1ciAlMw==",
    u"\u0298JTEgb2N0ZXRzIHN1ciAlMg==",
    u"\u0298JTEgw6ljb3Vsw6k=",
    u"\u0298ZW52aXJvbiAlMSByZXN0YW50",
    u"\u0298w4l0YXQ=",
    u"\u0298QW5udWxhdGlvbiByZWZ1c8OpZSA6IHVuZSBjYXJ0ZSBlc3QgZW4gbW9kZSBjaGFyZ2V1ciBvdSBzdXIgbGUgcG9pbnQg"
    u"ZCd5IGVudHJlci4gVmV1aWxsZXogcGF0aWVudGVyLg==",
    u"\u0298QW5udWzDqSDDoCBsJ2F2ZXJ0aXNzZW1lbnQgYXZhbnQgbGEgbWlzZSDDoCBqb3VyIDsgYXVjdW5lIGNhcnRlIG4nYSDD"
    u"qXTDqSBtb2RpZmnDqWUu",
    u"\u0298QW5udWzDqSBwYXIgbCd1dGlsaXNhdGV1ciA7ICUxIGNhcnRlcyBzdXIgJTIgb250IMOpdMOpIG1pc2VzIMOgIGpvdXIu",
    u"\u0298RXJyZXVyIDogb3B0aW9ucyBkZSBtaXNlIMOgIGpvdXIgbm9uIHZhbGlkZXMuIFZldWlsbGV6IHTDqWzDqWNoYXJnZXIgw6A"
    u"gbm91dmVhdSBsZSBwYWNrYWdlLg==",
    u"\u0298RXJyZXVyIDogdW4gZmljaGllciBkdSBwYWNrYWdlIGRlIG1pc2Ugw6Agam91ciBlc3QgbWFucXVhbnQuIFZldWlsbGV6IHT"
    u"DqWzDqWNoYXJnZXIgw6Agbm91dmVhdSBsZSBwYWNrYWdlLg==",
};

constexpr CUiTexts kItTexts = {
    u"\u0298VXRpbGl0w6AgZGkgYWdnaW9ybmFtZW50byBmaXJtd2FyZSBPcnZlbA==",
    u"\u0298SW4gYXR0ZXNhIGRlbGxhIG1vZGFsaXTDoCBsb2FkZXI=",
    u"\u0298SW4gYXR0ZXNhIGRlbGxhIG1vZGFsaXTDoCBkaXNwb3NpdGl2bw==",
    u"\u0298QWdnaW9ybmFtZW50byBpbiBjb3JzbywgbCdvcGVyYXppb25lIHBvdHJlYmJlIHJpY2hpZWRlcmUgYWxjdW5pIG1pbnV0aQ==",
    u"\u0298UHJvZ3JhbW1hemlvbmUgcml1c2NpdGE=",
    u"\u0298UHJvZ3JhbW1hemlvbmUgbm9uIHJpdXNjaXRh",
    u"\u0298SWwgZmlybXdhcmUgw6ggc3RhdG8gYWdnaW9ybmF0byBjb3JyZXR0YW1lbnRlLg==",
    u"\u0298SW1wb3NzaWJpbGUgYWdnaW9ybmFyZSBpbCBmaXJtd2FyZS4gUmljb2xsZWdhcmUgaWwgZGlzcG9zaXRpdm8gZSByaXByb3Zhcm"
    u"Uu",
    u"\u0298RXJyb3JlOiBuZXNzdW5hIHRhdm9sZXR0YSBzdXBwb3J0YXRhIGNvbGxlZ2F0YS4gQ29sbGVnYXJlIHVuYSB0YXZvbGV0dGEu",
    u"\u0298RXJyb3JlOiBkaXNwb3NpdGl2byBkaSBkZXN0aW5hemlvbmUgZGVsbCdhZ2dpb3JuYW1lbnRvIG5vbiB0cm92YXRvLiBTY2FyaW"
    u"NhcmUgZGkgbnVvdm8gaWwgcGFjY2hldHRvLg==",
    u"\u0298RXJyb3JlOiB1bm8gc3RhdG8gbm9uIHZhbGlkbyBoYSBjYXVzYXRvIGxhIGNoaXVzdXJhIGRlbCBwcm9ncmFtbWEgZGkgYWdnaW"
    u"9ybmFtZW50by4=",
    u"\u0298RXJyb3JlOiBmaWxlIGRpIGFnZ2lvcm5hbWVudG8gZmlybXdhcmUgbm9uIHZhbGlkby4gU2NhcmljYXJlIGRpIG51b3ZvIGlsIH"
    u"BhY2NoZXR0by4=",
    u"\u0298QW5udWxsYQ==",
    u"\u0298QWdnaW9ybmE=",
    u"\u0298UXVlc3RvIGFnZ2lvcm5hbWVudG8gcHXDsiByaWNoaWVkZXJlIGZpbm8gYSAxNSBtaW51dGkuIFNlIG5vbiBzaSBzZWd1b25vIH"
    u"F1ZXN0ZSBpbmRpY2F6aW9uaSwgaWwgZGlzcG9zaXRpdm8gcG90cmViYmUgZGFubmVnZ2lhcnNpOg==",
    u"\u0298Tm9uIHNwZWduZXJlIG8gcmlhdnZpYXJlIGlsIGNvbXB1dGVyIGUgbm9uIGxhc2NpYXJsbyBlbnRyYXJlIGluIHNvc3BlbnNpb2"
    u"5l",
    u"\u0298Tm9uIHNjb2xsZWdhcmUgaWwgY2F2byBkaSBhbGltZW50YXppb25lIG8gaSBjYXZpIFVTQg==",
    u"\u0298Tm9uIHRvY2NhcmUgaSBwdWxzYW50aSBkZWwgZGlzcG9zaXRpdm8gT3J2ZWw=",
    u"\u0298JTEsIHNjaGVkYSAlMiBkaSAlMw==",
    u"\u0298JTEgZGkgJTIgYnl0ZQ==",
    u"\u0298JTEgdHJhc2NvcnNp",
    u"\u0298Y2lyY2EgJTEgcmltYW5lbnRp",
    u"\u0298U3RhdG8=",
    u"\u0298QW5udWxsYW1lbnRvIHJpZml1dGF0bzogdW5hIHNjaGVkYSDDqCBpbiBtb2RhbGl0w6AgbG9hZGVyIG8gc3RhIHBlciBl"
    u"bnRyYXJ2aS4gQXR0ZW5kZXJlLg==",
    u"\u0298QW5udWxsYXRvIGFsbCdhdnZpc28gcHJpbWEgZGVsbCdhZ2dpb3JuYW1lbnRvOyBuZXNzdW5hIHNjaGVkYSDDqCBzdGF0"
    u"YSBtb2RpZmljYXRhLg==",
    u"\u0298QW5udWxsYXRvIGRhbGwndXRlbnRlOyAlMSBkaSAlMiBzY2hlZGUgc29ubyBzdGF0ZSBhZ2dpb3JuYXRlLg==",
    u"\u0298RXJyb3JlOiBvcHppb25pIGRpIGFnZ2lvcm5hbWVudG8gbm9uIHZhbGlkZS4gU2NhcmljYXJlIGRpIG51b3ZvIGlsIHBhY2N"
    u"oZXR0by4=",
    u"\u0298RXJyb3JlOiBtYW5jYSB1biBmaWxlIGRlbCBwYWNjaGV0dG8gZGkgYWdnaW9ybmFtZW50by4gU2NhcmljYXJlIGRpIG51b3Z"
    u"vIGlsIHBhY2NoZXR0by4=",
};

constexpr CUiTexts kJaTexts = {
    u"\u0298T3J2ZWwg44OV44Kh44O844Og44Km44Kn44KiIOOCouODg+ODl+ODh+ODvOODiCDjg6bjg7zjg4bjgqPjg6rjg4bjgqM=",
    u"\u029844Ot44O844OA44O8IOODouODvOODieOCkuW+heapn+OBl+OBpuOBhOOBvuOBmQ==",
    u"\u029844OH44OQ44Kk44K5IOODouODvOODieOCkuW+heapn+OBl+OBpuOBhOOBvuOBmQ==",
    u"\u029844Ki44OD44OX44OH44O844OI44GX44Gm44GE44G+44GZ44CC5pWw5YiG44GL44GL44KL5aC05ZCI44GM44GC44KK44G+44GZ",
    u"\u029844OX44Ot44Kw44Op44Of44Oz44Kw44Gr5oiQ5Yqf44GX44G+44GX44Gf",
    u"\u029844OX44Ot44Kw44Op44Of44Oz44Kw44Gr5aSx5pWX44GX44G+44GX44Gf",
    u"\u029844OV44Kh44O844Og44Km44Kn44Ki44Gv5q2j5bi444Gr44Ki44OD44OX44OH44O844OI44GV44KM44G+44GX44Gf44CC",
    u"\u029844OV44Kh44O844Og44Km44Kn44Ki44Gu44Ki44OD44OX44OH44O844OI44Gr5aSx5pWX44GX44G+44GX44Gf44CC44OH44OQ44"
    u"Kk44K544KS5o6l57aa44GX55u044GX44Gm44GL44KJ44CB44KC44GG5LiA5bqm44GK6Kmm44GX44GP44Gg44GV44GE44CC",
    u"\u029844Ko44Op44O8OiDlr77lv5zjgZnjgovjgr/jg5bjg6zjg4Pjg4jjgYzmjqXntprjgZXjgozjgabjgYTjgb7jgZvjgpPjgILjgr"
    u"/jg5bjg6zjg4Pjg4jjgpLmjqXntprjgZfjgabjgY/jgaDjgZXjgYTjgII=",
    u"\u029844Ko44Op44O8OiDjgqLjg4Pjg5fjg4fjg7zjg4jlr77osaHjga7jg4fjg5DjgqTjgrnjgYzopovjgaTjgYvjgorjgb7jgZvjgp"
    u"PjgILjg5Hjg4PjgrHjg7zjgrjjgpLjgoLjgYbkuIDluqbjg4Djgqbjg7Pjg63jg7zjg4njgZfjgabjgY/jgaDjgZXjgYTjgII=",
    u"\u029844Ko44Op44O8OiDnhKHlirnjgarnirbmhYvjgYznmbrnlJ/jgZfjgZ/jgZ/jgoHjgIHjgqLjg4Pjg5fjg4fjg7zjgr/jg7zjgp"
    u"LntYLkuobjgZfjgb7jgZfjgZ/jgII=",
    u"\u029844Ko44Op44O8OiDjg5XjgqHjg7zjg6DjgqbjgqfjgqIg44Ki44OD44OX44OH44O844OIIOODleOCoeOCpOODq+OBjOeEoeWKue"
    u"OBp+OBmeOAguODkeODg+OCseODvOOCuOOCkuOCguOBhuS4gOW6puODgOOCpuODs+ODreODvOODieOBl+OBpuOBj+OBoOOBleOBhOOAgg"
    u"==",
    u"\u029844Kt44Oj44Oz44K744Or",
    u"\u029844Ki44OD44OX44OH44O844OI",
    u"\u029844GT44Gu44Ki44OD44OX44OH44O844OI44Gr44Gv5pyA5aSnIDE1IOWIhuOBi+OBi+OCi+OBk+OBqOOBjOOBguOCiuOBvuOBme"
    u"OAguasoeOBruazqOaEj+S6i+mgheOCkuWuiOOCieOBquOBhOOBqOOAgeODh+ODkOOCpOOCueOBjOaVhemanOOBmeOCi+OBiuOBneOCjO"
    u"OBjOOBguOCiuOBvuOBmTo=",
    u"\u029844Kz44Oz44OU44Ol44O844K/44O844KS44K344Oj44OD44OI44OA44Km44Oz44CB5YaN6LW35YuV44CB44G+44Gf44Gv44K544"
    u"Oq44O844OX44GV44Gb44Gq44GE44Gn44GP44Gg44GV44GE",
    u"\u02986Zu75rqQ44Kx44O844OW44Or44KEIFVTQiDjgrHjg7zjg5bjg6vjgpLmipzjgYvjgarjgYTjgafjgY/jgaDjgZXjgYQ=",
    u"\u0298T3J2ZWwg44OH44OQ44Kk44K544Gu44Oc44K/44Oz44Gr6Kem44KM44Gq44GE44Gn44GP44Gg44GV44GE",
    u"\u0298JTHjgIHjg5zjg7zjg4kgJTIvJTM=",
    u"\u0298JTEvJTIg44OQ44Kk44OI",
    u"\u029857WM6YGOICUx",
    u"\u02985q6L44KK57SEICUx",
    u"\u029854q25oWL",
    u"\u029844Kt44Oj44Oz44K744Or44Gn44GN44G+44Gb44KTOiDjg5zjg7zjg4njgYzjg63jg7zjg4Djg7wg44Oi44O844OJ5Lit"
    u"44G+44Gf44Gv44Gd44Gu55u05YmN44Gn44GZ44CC44GK5b6F44Gh44GP44Gg44GV44GE44CC",
    u"\u02985pu05paw5YmN44Gu6K2m5ZGK44Gn44Kt44Oj44Oz44K744Or44GV44KM44G+44GX44Gf44CC44Oc44O844OJ44Gv5aSJ"
    u"5pu044GV44KM44Gm44GE44G+44Gb44KT44CC",
    u"\u029844Om44O844K244O844Gr44KI44KK44Kt44Oj44Oz44K744Or44GV44KM44G+44GX44Gf44CCJTIg5YCL5LitICUxIOWA"
    u"i+OBruODnOODvOODieOBjOabtOaWsOOBleOCjOOBvuOBl+OBn+OAgg==",
    u"\u029844Ko44Op44O8OiDjgqLjg4Pjg5fjg4fjg7zjg4gg44Kq44OX44K344On44Oz44GM54Sh5Yq544Gn44GZ44CC44OR44OD44K"
    u"x44O844K444KS44KC44GG5LiA5bqm44OA44Km44Oz44Ot44O844OJ44GX44Gm44GP44Gg44GV44GE44CC",
    u"\u029844Ko44Op44O8OiDjgqLjg4Pjg5fjg4fjg7zjg4gg44OR44OD44Kx44O844K444Gu44OV44Kh44Kk44Or44GM6KaL44Gk44G"
    u"L44KK44G+44Gb44KT44CC44OR44OD44Kx44O844K444KS44KC44GG5LiA5bqm44OA44Km44Oz44Ot44O844OJ44GX44Gm44GP44G"
    u"g44GV44GE44CC",
};

constexpr CUiTexts kKoTexts = {
    u"\u0298T3J2ZWwg7Y6M7Juo7Ja0IOyXheuNsOydtO2KuCDsnKDti7jrpqzti7A=",
    u"\u029866Gc642UIOuqqOuTnOulvCDquLDri6TrpqzripQg7KSR",
    u"\u02987J6l7LmYIOuqqOuTnOulvCDquLDri6TrpqzripQg7KSR",
    u"\u02987JeF642w7J207Yq4IOykkeyeheuLiOuLpC4g66qHIOu2hCDsoJXrj4Qg6rG466a0IOyImCDsnojsirXri4jri6Q=",
    u"\u02987ZSE66Gc6re4656Y67CNIOyEseqztQ==",
    u"\u02987ZSE66Gc6re4656Y67CNIOyLpO2MqA==",
    u"\u02987Y6M7Juo7Ja066W8IOyXheuNsOydtO2KuO2WiOyKteuLiOuLpC4=",
    u"\u02987Y6M7Juo7Ja066W8IOyXheuNsOydtO2KuO2VmOyngCDrqrvtlojsirXri4jri6QuIOyepey5mOulvCDri6Tsi5wg7Jew6rKw7Z"
    u"WcIO2bhCDri6Tsi5wg7Iuc64+E7ZWY7Iut7Iuc7JikLg==",
    u"\u02987Jik66WYOiDsp4Dsm5DrkJjripQg7YOc67iU66a/7J20IOyXsOqysOuQmOyWtCDsnojsp4Ag7JWK7Iq164uI64ukLiDtg5zruJ"
    u"Trpr/snYQg7Jew6rKw7ZWY7Iut7Iuc7JikLg==",
    u"\u02987Jik66WYOiDsl4XrjbDsnbTtirgg64yA7IOBIOyepey5mOulvCDssL7snYQg7IiYIOyXhuyKteuLiOuLpC4g7Yyo7YKk7KeA66"
    u"W8IOuLpOyLnCDri6TsmrTroZzrk5ztlZjsi63si5zsmKQu",
    u"\u02987Jik66WYOiDsnpjrqrvrkJwg7IOB7YOc66GcIOyduO2VtCDsl4XrjbDsnbTtirgg7ZSE66Gc6re4656o7J20IOyiheujjOuQmO"
    u"yXiOyKteuLiOuLpC4=",
    u"\u02987Jik66WYOiDtjozsm6jslrQg7JeF642w7J207Yq4IO2MjOydvOydtCDsnpjrqrvrkJjsl4jsirXri4jri6QuIO2MqO2CpOyngO"
    u"ulvCDri6Tsi5wg64uk7Jq066Gc65Oc7ZWY7Iut7Iuc7JikLg==",
    u"\u02987Leo7IaM",
    u"\u02987JeF642w7J207Yq4",
    u"\u02987J20IOyXheuNsOydtO2KuOuKlCDstZzrjIAgMTXrtoTsnbQg6rG466a0IOyImCDsnojsirXri4jri6QuIOuLpOydjCDsgqztla"
    u"3snYQg7KeA7YKk7KeAIOyViuycvOuptCDsnqXsuZjqsIAg7IaQ7IOB65CgIOyImCDsnojsirXri4jri6Q6",
    u"\u02987Lu07ZOo7YSw66W8IOyiheujjO2VmOqxsOuCmCDri6Tsi5wg7Iuc7J6R7ZWY6rGw64KYIOygiOyghCDrqqjrk5zroZwg7KCE7Z"
    u"mY7ZWY7KeAIOuniOyLreyLnOyYpA==",
    u"\u02987KCE7JuQIOy8gOydtOu4lOydtOuCmCBVU0Ig7LyA7J2067iU7J2EIOu9keyngCDrp4jsi63si5zsmKQ=",
    u"\u0298T3J2ZWwg7J6l7LmY7J2YIOuyhO2KvOydhCDrp4zsp4Dsp4Ag66eI7Iut7Iuc7Jik",
    u"\u0298JTEsIOuztOuTnCAlMi8lMw==",
    u"\u0298JTEvJTLrsJTsnbTtirg=",
    u"\u0298JTEg6rK96rO8",
    u"\u02987JW9ICUxIOuCqOydjA==",
    u"\u02987IOB7YOc",
    u"\u02987Leo7IaM7ZWgIOyImCDsl4bsnYw6IOuztOuTnOqwgCDroZzrjZQg66qo65Oc7J206rGw64KYIOuhnOuNlCDrqqjrk5zs"
    u"l5Ag65Ok7Ja06rCA64qUIOykkeyeheuLiOuLpC4g6riw64uk66CkIOyjvOyLreyLnOyYpC4=",
    u"\u02987JeF642w7J207Yq4IOyghCDqsr3qs6Dsl5DshJwg7Leo7IaM65CY7JeI7Iq164uI64ukLiDrs4Dqsr3rkJwg67O065Oc"
    u"6rCAIOyXhuyKteuLiOuLpC4=",
    u"\u02987IKs7Jqp7J6Q6rCAIOy3qOyGjO2WiOyKteuLiOuLpC4g67O065OcICUy6rCcIOykkSAlMeqwnOqwgCDsl4XrjbDsnbTt"
    u"irjrkJjsl4jsirXri4jri6Qu",
    u"\u02987Jik66WYOiDsl4XrjbDsnbTtirgg7Ji17IWY7J20IOyemOuqu+uQmOyXiOyKteuLiOuLpC4g7Yyo7YKk7KeA66W8IOuLpOy"
    u"LnCDri6TsmrTroZzrk5ztlZjsi63si5zsmKQu",
    u"\u02987Jik66WYOiDsl4XrjbDsnbTtirgg7Yyo7YKk7KeA7J2YIO2MjOydvOydtCDsl4bsirXri4jri6QuIO2MqO2CpOyngOulvCD"
    u"ri6Tsi5wg64uk7Jq066Gc65Oc7ZWY7Iut7Iuc7JikLg==",
};

constexpr CUiTexts kNlTexts = {
    u"\u0298T3J2ZWwtaHVscHByb2dyYW1tYSB2b29yIGZpcm13YXJlLXVwZGF0ZXM=",
    u"\u0298V2FjaHRlbiBvcCBsb2FkZXJtb2R1cw==",
    u"\u0298V2FjaHRlbiBvcCBhcHBhcmFhdG1vZHVz",
    u"\u0298QmV6aWcgbWV0IGJpandlcmtlbiwgZGl0IGthbiBlbmtlbGUgbWludXRlbiBkdXJlbg==",
    u"\u0298UHJvZ3JhbW1lcmVuIGdlc2xhYWdk",
    u"\u0298UHJvZ3JhbW1lcmVuIG1pc2x1a3Q=",
    u"\u0298RGUgZmlybXdhcmUgaXMgYmlqZ2V3ZXJrdC4=",
    u"\u0298RGUgZmlybXdhcmUga2FuIG5pZXQgd29yZGVuIGJpamdld2Vya3QuIFNsdWl0IHV3IGFwcGFyYWF0IG9wbmlldXcgYWFuIGVuIH"
    u"Byb2JlZXIgaGV0IG5vZyBlZW5zLg==",
    u"\u0298Rm91dDogZXIgaXMgZ2VlbiBvbmRlcnN0ZXVuZGUgdGFibGV0IGFhbmdlc2xvdGVuLiBTbHVpdCBlZW4gdGFibGV0IGFhbi4=",
    u"\u0298Rm91dDogaGV0IGRvZWxhcHBhcmFhdCB2b29yIGRlIHVwZGF0ZSBpcyBuaWV0IGdldm9uZGVuLiBEb3dubG9hZCBoZXQgcGFra2"
    u"V0IG9wbmlldXcu",
    u"\u0298Rm91dDogaGV0IHVwZGF0ZXByb2dyYW1tYSBpcyBiZcOraW5kaWdkIHZhbndlZ2UgZWVuIG9uZ2VsZGlnZSBzdGF0dXMu",
    u"\u0298Rm91dDogb25nZWxkaWcgZmlybXdhcmUtdXBkYXRlYmVzdGFuZC4gRG93bmxvYWQgaGV0IHBha2tldCBvcG5pZXV3Lg==",
    u"\u0298QW5udWxlcmVu",
    u"\u0298Qmlqd2Vya2Vu",
    u"\u0298RGV6ZSB1cGRhdGUga2FuIHRvdCAxNSBtaW51dGVuIGR1cmVuLiBBbHMgdSBkZXplIHN0YXBwZW4gbmlldCB2b2xndCwga2FuIH"
    u"V3IGFwcGFyYWF0IGJlc2NoYWRpZ2QgcmFrZW46",
    u"\u0298U2x1aXQgZGUgY29tcHV0ZXIgbmlldCBhZiwgc3RhcnQgZGV6ZSBuaWV0IG9wbmlldXcgb3AgZW4gbGFhdCBkZXplIG5pZXQgaW"
    u"4gc2xhYXBzdGFuZCBnYWFu",
    u"\u0298S29wcGVsIGRlIHZvZWRpbmdza2FiZWwgZW4gZGUgVVNCLWthYmVscyBuaWV0IGxvcw==",
    u"\u0298UmFhayBkZSBrbm9wcGVuIG9wIGhldCBPcnZlbC1hcHBhcmFhdCBuaWV0IGFhbg==",
    u"\u0298JTEsIGthYXJ0ICUyIHZhbiAlMw==",
    u"\u0298JTEgdmFuICUyIGJ5dGVz",
    u"\u0298JTEgdmVyc3RyZWtlbg==",
    u"\u0298bm9nIG9uZ2V2ZWVyICUx",
    u"\u0298U3RhdHVz",
    u"\u0298QW5udWxlcmVuIGdld2VpZ2VyZDogZWVuIGthYXJ0IHN0YWF0IGluIG9mIGJpam5hIGluIGRlIGxvYWRlcm1vZHVzLiBF"
    u"dmVuIGdlZHVsZC4=",
    u"\u0298R2Vhbm51bGVlcmQgYmlqIGRlIHdhYXJzY2h1d2luZyB2w7PDs3IgZGUgdXBkYXRlOyBlciBpcyBnZWVuIGthYXJ0IGdl"
    u"d2lqemlnZC4=",
    u"\u0298R2Vhbm51bGVlcmQgZG9vciBkZSBnZWJydWlrZXI7ICUxIHZhbiAlMiBrYWFydGVuIHppam4gYmlqZ2V3ZXJrdC4=",
    u"\u0298Rm91dDogb25nZWxkaWdlIHVwZGF0ZS1vcHRpZXMuIERvd25sb2FkIGhldCBwYWtrZXQgb3BuaWV1dy4=",
    u"\u0298Rm91dDogZXIgb250YnJlZWt0IGVlbiBiZXN0YW5kIHZhbiBoZXQgdXBkYXRlcGFra2V0LiBEb3dubG9hZCBoZXQgcGFra2V"
    u"0IG9wbmlldXcu",
};

constexpr CUiTexts kPlTexts = {
    u"\u0298TmFyesSZZHppZSBkbyBha3R1YWxpemFjamkgb3Byb2dyYW1vd2FuaWEgdWvFgmFkb3dlZ28gT3J2ZWw=",
    u"\u0298T2N6ZWtpd2FuaWUgbmEgdHJ5YiBwcm9ncmFtdSDFgmFkdWrEhWNlZ28=",
    u"\u0298T2N6ZWtpd2FuaWUgbmEgdHJ5YiB1cnrEhWR6ZW5pYQ==",
    u"\u0298VHJ3YSBha3R1YWxpemFjamEsIG1vxbxlIHRvIHBvdHJ3YcSHIGtpbGthIG1pbnV0",
    u"\u0298UHJvZ3JhbW93YW5pZSB6YWtvxYRjem9uZSBwb215xZtsbmll",
    u"\u0298UHJvZ3JhbW93YW5pZSBuaWUgcG93aW9kxYJvIHNpxJk=",
    u"\u0298T3Byb2dyYW1vd2FuaWUgdWvFgmFkb3dlIHpvc3RhxYJvIHBvbXnFm2xuaWUgemFrdHVhbGl6b3dhbmUu",
    u"\u0298TmllIHVkYcWCbyBzacSZIHpha3R1YWxpem93YcSHIG9wcm9ncmFtb3dhbmlhIHVrxYJhZG93ZWdvLiBQb2TFgsSFY3ogcG9ub3"
    u"duaWUgdXJ6xIVkemVuaWUgaSBzcHLDs2J1aiBqZXN6Y3plIHJhei4=",
    u"\u0298QsWCxIVkOiBuaWUgcG9kxYLEhWN6b25vIG9ic8WCdWdpd2FuZWdvIHRhYmxldHUuIFBvZMWCxIVjeiB0YWJsZXQu",
    u"\u0298QsWCxIVkOiBuaWUgem5hbGV6aW9ubyB1cnrEhWR6ZW5pYSBkb2NlbG93ZWdvIGFrdHVhbGl6YWNqaS4gUG9iaWVyeiBwYWtpZX"
    u"QgcG9ub3duaWUu",
    u"\u0298QsWCxIVkOiBuaWVwcmF3aWTFgm93eSBzdGFuIHNwb3dvZG93YcWCIHpha2/FhGN6ZW5pZSBkemlhxYJhbmlhIHByb2dyYW11IG"
    u"FrdHVhbGl6dWrEhWNlZ28u",
    u"\u0298QsWCxIVkOiBuaWVwcmF3aWTFgm93eSBwbGlrIGFrdHVhbGl6YWNqaSBvcHJvZ3JhbW93YW5pYSB1a8WCYWRvd2Vnby4gUG9iaW"
    u"VyeiBwYWtpZXQgcG9ub3duaWUu",
    u"\u0298QW51bHVq",
    u"\u0298QWt0dWFsaXp1ag==",
    u"\u0298VGEgYWt0dWFsaXphY2phIG1vxbxlIHBvdHJ3YcSHIGRvIDE1IG1pbnV0LiBOaWVwcnplc3RyemVnYW5pZSBwb25pxbxzenljaC"
    u"B6YWxlY2XFhCBtb8W8ZSB1c3prb2R6acSHIHVyesSFZHplbmllOg==",
    u"\u0298TmllIHd5xYLEhWN6YWogYW5pIG5pZSB1cnVjaGFtaWFqIHBvbm93bmllIGtvbXB1dGVyYSBpIG5pZSBwb3p3w7NsIG11IHByem"
    u"VqxZvEhyB3IHN0YW4gdcWbcGllbmlh",
    u"\u0298TmllIG9kxYLEhWN6YWoga2FibGEgemFzaWxhasSFY2VnbyBhbmkga2FibGkgVVNC",
    u"\u0298TmllIGRvdHlrYWogcHJ6eWNpc2vDs3cgdXJ6xIVkemVuaWEgT3J2ZWw=",
    u"\u0298JTEsIHDFgnl0a2EgJTIgeiAlMw==",
    u"\u0298JTEgeiAlMiBiYWp0w7N3",
    u"\u0298dXDFgnluxJnFgm8gJTE=",
    u"\u0298cG96b3N0YcWCbyBva2/Fgm8gJTE=",
    u"\u0298U3Rhbg==",
    u"\u0298QW51bG93YW5pZSBvZHJ6dWNvbmU6IHDFgnl0a2EgamVzdCB3IHRyeWJpZSBwcm9ncmFtdSDFgmFkdWrEhWNlZ28gbHVi"
    u"IHphcmF6IHcgbmllZ28gd2VqZHppZS4gUHJvc3rEmSBjemVrYcSHLg==",
    u"\u0298QW51bG93YW5vIHByenkgb3N0cnplxbxlbml1IHByemVkIGFrdHVhbGl6YWNqxIU7IMW8YWRuYSBwxYJ5dGthIG5pZSB6"
    u"b3N0YcWCYSB6bWllbmlvbmEu",
    u"\u0298QW51bG93YW5lIHByemV6IHXFvHl0a293bmlrYTsgemFrdHVhbGl6b3dhbm8gJTEgeiAlMiBwxYJ5dGVrLg==",
    u"\u0298QsWCxIVkOiBuaWVwcmF3aWTFgm93ZSBvcGNqZSBha3R1YWxpemFjamkuIFBvYmllcnogcGFraWV0IHBvbm93bmllLg==",
    u"\u0298QsWCxIVkOiBicmFrIHBsaWt1IHBha2lldHUgYWt0dWFsaXphY2ppLiBQb2JpZXJ6IHBha2lldCBwb25vd25pZS4=",
};

constexpr CUiTexts kPtTexts = {
    u"\u0298VXRpbGl0w6FyaW8gZGUgYXR1YWxpemHDp8OjbyBkZSBmaXJtd2FyZSBPcnZlbA==",
    u"\u0298QWd1YXJkYW5kbyBvIG1vZG8gY2FycmVnYWRvcg==",
    u"\u0298QWd1YXJkYW5kbyBvIG1vZG8gZGlzcG9zaXRpdm8=",
    u"\u0298QXR1YWxpemFuZG8sIGlzc28gcG9kZSBsZXZhciBhbGd1bnMgbWludXRvcw==",
    u"\u0298UHJvZ3JhbWHDp8OjbyBjb25jbHXDrWRhIGNvbSDDqnhpdG8=",
    u"\u0298RmFsaGEgbmEgcHJvZ3JhbWHDp8Ojbw==",
    u"\u0298TyBmaXJtd2FyZSBmb2kgYXR1YWxpemFkbyBjb20gw6p4aXRvLg==",
    u"\u0298RmFsaGEgYW8gYXR1YWxpemFyIG8gZmlybXdhcmUuIFJlY29uZWN0ZSBvIGRpc3Bvc2l0aXZvIGUgdGVudGUgbm92YW1lbnRlLg"
    u"==",
    u"\u0298RXJybzogbmVuaHVtIHRhYmxldCBjb21wYXTDrXZlbCBlc3TDoSBjb25lY3RhZG8uIENvbmVjdGUgdW0gdGFibGV0Lg==",
    u"\u0298RXJybzogbyBkaXNwb3NpdGl2byBkZSBkZXN0aW5vIGRhIGF0dWFsaXphw6fDo28gbsOjbyBmb2kgZW5jb250cmFkby4gQmFpeG"
    u"UgbyBwYWNvdGUgbm92YW1lbnRlLg==",
    u"\u0298RXJybzogdW0gZXN0YWRvIGludsOhbGlkbyBjYXVzb3UgbyBlbmNlcnJhbWVudG8gZG8gYXR1YWxpemFkb3Iu",
    u"\u0298RXJybzogYXJxdWl2byBkZSBhdHVhbGl6YcOnw6NvIGRlIGZpcm13YXJlIGludsOhbGlkby4gQmFpeGUgbyBwYWNvdGUgbm92YW"
    u"1lbnRlLg==",
    u"\u0298Q2FuY2VsYXI=",
    u"\u0298QXR1YWxpemFy",
    u"\u0298RXN0YSBhdHVhbGl6YcOnw6NvIHBvZGUgbGV2YXIgYXTDqSAxNSBtaW51dG9zLiBTZSBlc3RhcyBpbnN0cnXDp8O1ZXMgbsOjby"
    u"Bmb3JlbSBzZWd1aWRhcywgbyBkaXNwb3NpdGl2byBwb2RlcsOhIHNlciBkYW5pZmljYWRvOg==",
    u"\u0298TsOjbyBkZXNsaWd1ZSBuZW0gcmVpbmljaWUgbyBjb21wdXRhZG9yIGUgbsOjbyBkZWl4ZSBxdWUgZWxlIGVudHJlIGVtIHN1c3"
    u"BlbnPDo28=",
    u"\u0298TsOjbyBkZXNjb25lY3RlIG8gY2FibyBkZSBlbmVyZ2lhIG5lbSBvcyBjYWJvcyBVU0I=",
    u"\u0298TsOjbyB0b3F1ZSBub3MgYm90w7VlcyBkbyBkaXNwb3NpdGl2byBPcnZlbA==",
    u"\u0298JTEsIHBsYWNhICUyIGRlICUz",
    u"\u0298JTEgZGUgJTIgYnl0ZXM=",
    u"\u0298JTEgZGVjb3JyaWRv",
    u"\u0298ZmFsdGFtIGNlcmNhIGRlICUx",
    u"\u0298RXN0YWRv",
    u"\u0298Q2FuY2VsYW1lbnRvIHJlY3VzYWRvOiB1bWEgcGxhY2EgZXN0w6Egbm8gbW9kbyBkZSBjYXJyZWdhZG9yIG91IHByZXN0"
    u"ZXMgYSBlbnRyYXIgbmVsZS4gQWd1YXJkZS4=",
    u"\u0298Q2FuY2VsYWRvIG5vIGF2aXNvIGFudGVyaW9yIMOgIGF0dWFsaXphw6fDo287IG5lbmh1bWEgcGxhY2EgZm9pIGFsdGVy"
    u"YWRhLg==",
    u"\u0298Q2FuY2VsYWRvIHBlbG8gdXN1w6FyaW87ICUxIGRlICUyIHBsYWNhcyBmb3JhbSBhdHVhbGl6YWRhcy4=",
    u"\u0298RXJybzogb3DDp8O1ZXMgZGUgYXR1YWxpemHDp8OjbyBpbnbDoWxpZGFzLiBCYWl4ZSBvIHBhY290ZSBub3ZhbWVudGUu",
    u"\u0298RXJybzogdW0gYXJxdWl2byBkbyBwYWNvdGUgZGUgYXR1YWxpemHDp8OjbyBlc3TDoSBmYWx0YW5kby4gQmFpeGUgbyBwYWN"
    u"vdGUgbm92YW1lbnRlLg==",
};

constexpr CUiTexts kRuTexts = {
    u"\u02980KPRgtC40LvQuNGC0LAg0L7QsdC90L7QstC70LXQvdC40Y8g0LzQuNC60YDQvtC/0YDQvtCz0YDQsNC80LzRiyBPcnZlbA==",
    u"\u02980J7QttC40LTQsNC90LjQtSDRgNC10LbQuNC80LAg0LfQsNCz0YDRg9C30YfQuNC60LA=",
    u"\u02980J7QttC40LTQsNC90LjQtSDRgNC10LbQuNC80LAg0YPRgdGC0YDQvtC50YHRgtCy0LA=",
    u"\u02980JLRi9C/0L7Qu9C90Y/QtdGC0YHRjyDQvtCx0L3QvtCy0LvQtdC90LjQtSwg0Y3RgtC+INC80L7QttC10YIg0LfQsNC90Y/Rgt"
    u"GMINC90LXRgdC60L7Qu9GM0LrQviDQvNC40L3Rg9GC",
    u"\u02980J/RgNC+0LPRgNCw0LzQvNC40YDQvtCy0LDQvdC40LUg0LLRi9C/0L7Qu9C90LXQvdC+INGD0YHQv9C10YjQvdC+",
    u"\u02980J7RiNC40LHQutCwINC/0YDQvtCz0YDQsNC80LzQuNGA0L7QstCw0L3QuNGP",
    u"\u02980JzQuNC60YDQvtC/0YDQvtCz0YDQsNC80LzQsCDRg9GB0L/QtdGI0L3QviDQvtCx0L3QvtCy0LvQtdC90LAu",
    u"\u02980J3QtSDRg9C00LDQu9C+0YHRjCDQvtCx0L3QvtCy0LjRgtGMINC80LjQutGA0L7Qv9GA0L7Qs9GA0LDQvNC80YMuINCf0LXRgN"
    u"C10L/QvtC00LrQu9GO0YfQuNGC0LUg0YPRgdGC0YDQvtC50YHRgtCy0L4g0Lgg0L/QvtCy0YLQvtGA0LjRgtC1INC/0L7Qv9GL0YLQut"
    u"GDLg==",
    u"\u02980J7RiNC40LHQutCwOiDQvdC1INC/0L7QtNC60LvRjtGH0LXQvSDQv9C+0LTQtNC10YDQttC40LLQsNC10LzRi9C5INC/0LvQsN"
    u"C90YjQtdGCLiDQn9C+0LTQutC70Y7Rh9C40YLQtSDQv9C70LDQvdGI0LXRgi4=",
    u"\u02980J7RiNC40LHQutCwOiDRhtC10LvQtdCy0L7QtSDRg9GB0YLRgNC+0LnRgdGC0LLQviDQtNC70Y8g0L7QsdC90L7QstC70LXQvd"
    u"C40Y8g0L3QtSDQvdCw0LnQtNC10L3Qvi4g0JfQsNCz0YDRg9C30LjRgtC1INC/0LDQutC10YIg0L/QvtCy0YLQvtGA0L3Qvi4=",
    u"\u02980J7RiNC40LHQutCwOiDRgNCw0LHQvtGC0LAg0L/RgNC+0LPRgNCw0LzQvNGLINC+0LHQvdC+0LLQu9C10L3QuNGPINC/0YDQtd"
    u"GA0LLQsNC90LAg0LjQty3Qt9CwINC90LXQtNC+0L/Rg9GB0YLQuNC80L7Qs9C+INGB0L7RgdGC0L7Rj9C90LjRjy4=",
    u"\u02980J7RiNC40LHQutCwOiDQvdC10LTQvtC/0YPRgdGC0LjQvNGL0Lkg0YTQsNC50Lsg0L7QsdC90L7QstC70LXQvdC40Y8g0LzQuN"
    u"C60YDQvtC/0YDQvtCz0YDQsNC80LzRiy4g0JfQsNCz0YDRg9C30LjRgtC1INC/0LDQutC10YIg0L/QvtCy0YLQvtGA0L3Qvi4=",
    u"\u02980J7RgtC80LXQvdCw",
    u"\u02980J7QsdC90L7QstC40YLRjA==",
    u"\u02980J7QsdC90L7QstC70LXQvdC40LUg0LzQvtC20LXRgiDQt9Cw0L3Rj9GC0Ywg0LTQviAxNSDQvNC40L3Rg9GCLiDQndC10YHQvt"
    u"Cx0LvRjtC00LXQvdC40LUg0Y3RgtC40YUg0YPQutCw0LfQsNC90LjQuSDQvNC+0LbQtdGCINC/0YDQuNCy0LXRgdGC0Lgg0Log0L/Qvt"
    u"Cy0YDQtdC20LTQtdC90LjRjiDRg9GB0YLRgNC+0LnRgdGC0LLQsDo=",
    u"\u02980J3QtSDQstGL0LrQu9GO0YfQsNC50YLQtSDQuCDQvdC1INC/0LXRgNC10LfQsNCz0YDRg9C20LDQudGC0LUg0LrQvtC80L/RjN"
    u"GO0YLQtdGAINC4INC90LUg0L/QtdGA0LXQstC+0LTQuNGC0LUg0LXQs9C+INCyINGB0L/Rj9GJ0LjQuSDRgNC10LbQuNC8",
    u"\u02980J3QtSDQvtGC0YHQvtC10LTQuNC90Y/QudGC0LUg0LrQsNCx0LXQu9GMINC/0LjRgtCw0L3QuNGPINC4IFVTQi3QutCw0LHQtd"
    u"C70Lg=",
    u"\u02980J3QtSDQutCw0YHQsNC50YLQtdGB0Ywg0LrQvdC+0L/QvtC6INC90LAg0YPRgdGC0YDQvtC50YHRgtCy0LUgT3J2ZWw=",
    u"\u0298JTEsINC/0LvQsNGC0LAgJTIg0LjQtyAlMw==",
    u"\u0298JTEg0LjQtyAlMiDQsdCw0LnRgg==",
    u"\u02980L/RgNC+0YjQu9C+ICUx",
    u"\u02980L7RgdGC0LDQu9C+0YHRjCDQvtC60L7Qu9C+ICUx",
    u"\u02980KHQvtGB0YLQvtGP0L3QuNC1",
    u"\u02980J7RgtC80LXQvdCwINC90LXQstC+0LfQvNC+0LbQvdCwOiDQv9C70LDRgtCwINC90LDRhdC+0LTQuNGC0YHRjyDQsiDR"
    u"gNC10LbQuNC80LUg0LfQsNCz0YDRg9C30YfQuNC60LAg0LjQu9C4INC/0LXRgNC10YXQvtC00LjRgiDQsiDQvdC10LPQvi4g0J"
    u"/QvtC00L7QttC00LjRgtC1Lg==",
    u"\u02980J7RgtC80LXQvdC10L3QviDQv9GA0Lgg0L/RgNC10LTRg9C/0YDQtdC20LTQtdC90LjQuCDQv9C10YDQtdC0INC+0LHQ"
    u"vdC+0LLQu9C10L3QuNC10Lw7INC90Lgg0L7QtNC90LAg0L/Qu9Cw0YLQsCDQvdC1INC40LfQvNC10L3QtdC90LAu",
    u"\u02980J7RgtC80LXQvdC10L3QviDQv9C+0LvRjNC30L7QstCw0YLQtdC70LXQvDsg0L7QsdC90L7QstC70LXQvdC+INC/0LvQ"
    u"sNGCOiAlMSDQuNC3ICUyLg==",
    u"\u02980J7RiNC40LHQutCwOiDQvdC10LTQvtC/0YPRgdGC0LjQvNGL0LUg0L/QsNGA0LDQvNC10YLRgNGLINC+0LHQvdC+0LLQu9C"
    u"10L3QuNGPLiDQl9Cw0LPRgNGD0LfQuNGC0LUg0L/QsNC60LXRgiDQv9C+0LLRgtC+0YDQvdC+Lg==",
    u"\u02980J7RiNC40LHQutCwOiDQvtGC0YHRg9GC0YHRgtCy0YPQtdGCINGE0LDQudC7INC/0LDQutC10YLQsCDQvtCx0L3QvtCy0Lv"
    u"QtdC90LjRjy4g0JfQsNCz0YDRg9C30LjRgtC1INC/0LDQutC10YIg0L/QvtCy0YLQvtGA0L3Qvi4=",
};

constexpr CUiTexts kZhTwTexts = {
    u"\u0298T3J2ZWwg6Z+M6auU5pu05paw5YWs55So56iL5byP",
    u"\u02985q2j5Zyo562J5b6F6LyJ5YWl5Zmo5qih5byP",
    u"\u02985q2j5Zyo562J5b6F6KOd572u5qih5byP",
    u"\u02985q2j5Zyo5pu05paw77yM5Y+v6IO96ZyA6KaB5bm+5YiG6ZCY",
    u"\u029856iL5byP5a+r5YWl5oiQ5Yqf",
    u"\u029856iL5byP5a+r5YWl5aSx5pWX",
    u"\u02986Z+M6auU5bey5oiQ5Yqf5pu05paw44CC",
    u"\u02986Z+M6auU5pu05paw5aSx5pWX44CC6KuL6YeN5paw6YCj5o6l5oKo55qE6KOd572u77yM54S25b6M5YaN6Kmm5LiA5qyh44CC",
    u"\u02986Yyv6Kqk77ya5pyq6YCj5o6l5pSv5o+055qE57mq5ZyW5p2/44CC6KuL6YCj5o6l57mq5ZyW5p2/44CC",
    u"\u02986Yyv6Kqk77ya5om+5LiN5Yiw6KaB5pu05paw55qE55uu5qiZ6KOd572u44CC6KuL6YeN5paw5LiL6LyJ5aWX5Lu244CC",
    u"\u02986Yyv6Kqk77ya54Sh5pWI55qE54uA5oWL5bCO6Ie05pu05paw56iL5byP57WC5q2i44CC",
    u"\u02986Yyv6Kqk77ya54Sh5pWI55qE6Z+M6auU5pu05paw5qqU5qGI44CC6KuL6YeN5paw5LiL6LyJ5aWX5Lu244CC",
    u"\u02985Y+W5raI",
    u"\u02985pu05paw",
    u"\u02985q2k5pu05paw5pyA5aSa5Y+v6IO96ZyA6KaBIDE1IOWIhumQmOOAguiLpeacqumBteWuiOS4i+WIl+atpempn++8jOWPr+iDve"
    u"acg+aQjeWjnuaCqOeahOijnee9ru+8mg==",
    u"\u02986KuL5Yu/5bCH6Zu76IWm6Zec5qmf44CB6YeN5paw5ZWf5YuV5oiW6K6T6Zu76IWm6YCy5YWl552h55yg54uA5oWL",
    u"\u02986KuL5Yu/5ouU6Zmk6Zu75rqQ57ea5oiWIFVTQiDpgKPmjqXnt5o=",
    u"\u02986KuL5Yu/6Ke456KwIE9ydmVsIOijnee9ruS4iueahOaMiemIlQ==",
    u"\u0298JTHvvIznrKwgJTIg5aGK6Zu76Lev5p2/77yM5YWxICUzIOWhig==",
    u"\u0298JTEgLyAlMiDkvY3lhYPntYQ=",
    u"\u02985bey57aT6YGOICUx",
    u"\u029857SE5YmpICUx",
    u"\u029854uA5oWL",
    u"\u029854Sh5rOV5Y+W5raI77ya6Zu76Lev5p2/5q2j6JmV5pa85oiW5Y2z5bCH6YCy5YWl6LyJ5YWl5Zmo5qih5byP44CC6KuL"
    u"56iN5YCZ44CC",
    u"\u02985bey5Zyo5pu05paw5YmN6K2m5ZGK5pmC5Y+W5raI77yb5pyq6K6K5pu05Lu75L2V6Zu76Lev5p2/44CC",
    u"\u02985bey55Sx5L2/55So6ICF5Y+W5raI77yb5bey5pu05pawICUyIOWhiumbu+i3r+adv+S4reeahCAlMSDloYrjgII=",
    u"\u02986Yyv6Kqk77ya54Sh5pWI55qE5pu05paw6YG46aCF44CC6KuL6YeN5paw5LiL6LyJ5aWX5Lu244CC",
    u"\u02986Yyv6Kqk77ya5pu05paw5aWX5Lu257y65bCR5qqU5qGI44CC6KuL6YeN5paw5LiL6LyJ5aWX5Lu244CC",
};

constexpr CUiTexts kZhCnTexts = {
    u"\u0298T3J2ZWwg5Zu65Lu25pu05paw5a6e55So56iL5bqP",
    u"\u02985q2j5Zyo562J5b6F5Yqg6L2956iL5bqP5qih5byP",
    u"\u02985q2j5Zyo562J5b6F6K6+5aSH5qih5byP",
    u"\u02985q2j5Zyo5pu05paw77yM6L+Z5Y+v6IO96ZyA6KaB5Yeg5YiG6ZKf",
    u"\u029857yW56iL5oiQ5Yqf",
    u"\u029857yW56iL5aSx6LSl",
    u"\u02985Zu65Lu25bey5oiQ5Yqf5pu05paw44CC",
    u"\u02985Zu65Lu25pu05paw5aSx6LSl44CC6K+36YeN5paw6L+e5o6l6K6+5aSH77yM54S25ZCO6YeN6K+V44CC",
    u"\u02986ZSZ6K+v77ya5pyq6L+e5o6l5Y+X5pSv5oyB55qE5pWw5L2N5p2/44CC6K+36L+e5o6l5pWw5L2N5p2/44CC",
    u"\u02986ZSZ6K+v77ya5om+5LiN5Yiw6KaB5pu05paw55qE55uu5qCH6K6+5aSH44CC6K+36YeN5paw5LiL6L295pu05paw5YyF44CC",
    u"\u02986ZSZ6K+v77ya5peg5pWI54q25oCB5a+86Ie05pu05paw56iL5bqP57uI5q2i44CC",
    u"\u02986ZSZ6K+v77ya5Zu65Lu25pu05paw5paH5Lu25peg5pWI44CC6K+36YeN5paw5LiL6L295pu05paw5YyF44CC",
    u"\u02985Y+W5raI",
    u"\u02985pu05paw",
    u"\u02985q2k5pu05paw5pyA5aSa5Y+v6IO96ZyA6KaBIDE1IOWIhumSn+OAguS4jemBteW+quS7peS4i+atpemqpOWPr+iDveS8muaNn+"
    u"Wdj+aCqOeahOiuvuWkh++8mg==",
    u"\u02986K+35Yu/5bCG6K6h566X5py65YWz5py644CB6YeN5paw5ZCv5Yqo5oiW6K6p6K6h566X5py66L+b5YWl552h55yg54q25oCB",
    u"\u02986K+35Yu/5ouU5LiL55S15rqQ57q/5oiWIFVTQiDmlbDmja7nur8=",
    u"\u02986K+35Yu/6Kem56KwIE9ydmVsIOiuvuWkh+S4iueahOaMiemUrg==",
    u"\u0298JTHvvIznrKwgJTIg5Z2X55S16Lev5p2/77yM5YWxICUzIOWdlw==",
    u"\u0298JTEgLyAlMiDlrZfoioI=",
    u"\u02985bey55So5pe2ICUx",
    u"\u029857qm5YmpICUx",
    u"\u029854q25oCB",
    u"\u02985peg5rOV5Y+W5raI77ya55S16Lev5p2/5q2j5aSE5LqO5oiW5Y2z5bCG6L+b5YWl5Yqg6L295Zmo5qih5byP44CC6K+3"
    u"56iN5YCZ44CC",
    u"\u02985bey5Zyo5pu05paw5YmN6K2m5ZGK5pe25Y+W5raI77yb5pyq5pu05pS55Lu75L2V55S16Lev5p2/44CC",
    u"\u02985bey55Sx55So5oi35Y+W5raI77yb5bey5pu05pawICUyIOWdl+eUtei3r+adv+S4reeahCAlMSDlnZfjgII=",
    u"\u02986ZSZ6K+v77ya5pu05paw6YCJ6aG55peg5pWI44CC6K+36YeN5paw5LiL6L295pu05paw5YyF44CC",
    u"\u02986ZSZ6K+v77ya5pu05paw5YyF57y65bCR5paH5Lu244CC6K+36YeN5paw5LiL6L295pu05paw5YyF44CC",
};
// The neutral language shows the English texts, so a neutral selection never leaves the dialogs blank.
constexpr std::array<CStringTable, 14> kStringTables = {{
    {9, kEnTexts},
    {7, kDeTexts},
    {10, kEsTexts},
    {12, kFrTexts},
    {16, kItTexts},
    {17, kJaTexts},
    {18, kKoTexts},
    {19, kNlTexts},
    {21, kPlTexts},
    {22, kPtTexts},
    {25, kRuTexts},
    {1028, kZhTwTexts},
    {2052, kZhCnTexts},
    {0, kEnTexts},
}};

const std::array<uint8_t, 256>& ValueTable()
{
  static const std::array<uint8_t, 256> valueTable = [] {
    std::array<uint8_t, 256> table;
    table.fill(kInvalidValue);
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    for (uint8_t value = 0; value <= kPadValue; ++value) {
      table[static_cast<uint8_t>(alphabet[value])] = value;
    }
    return table;
  }();
  return valueTable;
}

uint8_t Base64Value(uint8_t coded_I)
{
  const std::array<uint8_t, 256>& valueTable = ValueTable();
  ORV_ASSERT(coded_I < valueTable.size());
  ORV_ASSERT((valueTable[coded_I] & 0x80) == 0);
  return valueTable[coded_I];
}

const char16_t* FindText(std::span<const CStringTable> tables_I, uint16_t id_I, uint16_t langId_I)
{
  const auto id = std::find(kUiStringIds.begin(), kUiStringIds.end(), id_I);
  if (id == kUiStringIds.end()) {
    return nullptr;
  }
  for (const CStringTable& table : tables_I) {
    if (table.mLangId == langId_I) {
      return table.mTexts[static_cast<size_t>(id - kUiStringIds.begin())];
    }
  }
  return nullptr;
}

}  // namespace

std::span<const CStringTable> BuiltInStringTables() { return kStringTables; }

std::u16string LoadResString(uint16_t id_I, uint16_t langId_I) { return LoadResString(id_I, langId_I, kStringTables); }

std::u16string LoadResString(uint16_t id_I, uint16_t langId_I, std::span<const CStringTable> tables_I)
{
  uint16_t langId = langId_I;
  do {
    if (const char16_t* text = FindText(tables_I, id_I, langId)) {
      return DecodeResString(text);
    }
  } while (FallbackLangId(langId));
  return {};
}

std::u16string FormatUiString(const std::u16string& text_I, std::initializer_list<std::u16string> values_I)
{
  std::u16string text;
  for (size_t pos = 0; pos < text_I.size(); ++pos) {
    const bool marker = text_I[pos] == u'%' && pos + 1 < text_I.size() && text_I[pos + 1] >= u'1' &&
                        text_I[pos + 1] <= u'9' && static_cast<size_t>(text_I[pos + 1] - u'1') < values_I.size();
    if (!marker) {
      text += text_I[pos];
      continue;
    }
    text += *(values_I.begin() + (text_I[pos + 1] - u'1'));
    ++pos;
  }
  return text;
}

std::u16string DecodeResString(const std::u16string& codedString_I)
{
  if (codedString_I.empty() || codedString_I[0] != kCodedMarker) {
    return codedString_I;
  }
  std::vector<uint8_t> coded;
  coded.reserve(codedString_I.size() + 3);
  for (size_t i = 1; i < codedString_I.size(); ++i) {
    ORV_ASSERT(codedString_I[i] < 256);
    coded.push_back(static_cast<uint8_t>(codedString_I[i]));
  }
  coded.resize((coded.size() + 3) / 4 * 4, '=');
  const std::vector<uint8_t> bytes = Base64Decode(coded);
  return Utf8ToWide(std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> Base64Decode(const std::vector<uint8_t>& codedbuffer_I)
{
  ORV_ASSERT((((codedbuffer_I.size() + 3) / 4) * 4) == codedbuffer_I.size());
  const auto valueAt = [&codedbuffer_I](size_t pos_I) {
    return pos_I < codedbuffer_I.size() ? Base64Value(codedbuffer_I[pos_I]) : kPadValue;
  };
  std::vector<uint8_t> bytes;
  bytes.reserve(codedbuffer_I.size() / 4 * 3 + 3);
  for (size_t pos = 0; pos < codedbuffer_I.size(); pos += 4) {
    const uint8_t s1 = valueAt(pos);
    const uint8_t s2 = valueAt(pos + 1);
    const uint8_t s3 = valueAt(pos + 2);
    const uint8_t s4 = valueAt(pos + 3);
    ORV_ASSERT(s1 < 64);
    ORV_ASSERT(s2 < 64);
    const uint32_t group = (uint32_t(s1 % 64) << 18) | (uint32_t(s2 % 64) << 12) | (uint32_t(s3 % 64) << 6) | (s4 % 64);
    bytes.push_back(static_cast<uint8_t>(group >> 16));
    if (s3 < 64) bytes.push_back(static_cast<uint8_t>(group >> 8));
    if (s4 < 64) bytes.push_back(static_cast<uint8_t>(group));
  }
  return bytes;
}

}  // namespace orv
