// The web view on Windows: the system's web-browser control (IWebBrowser2), hosted in place in
// a native child window that sits at the view's place in its top-level window. Its events
// (BeforeNavigate2 for the page and its frames, NewWindow3, DocumentComplete) run the view's
// hooks; the host's IDocHostUIHandler gives the page its host flags and window.external.
#include <string>

#include "Win32Backend.h"
#include "Win32System.h"
#include "platform/WebView.h"
#include "platform/WindowTable.h"

namespace ui {
namespace {

// The text of a VARIANT argument, by reference or by value.
std::string TextOf(const VARIANT& v) {
  const VARIANT& value = v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal ? *v.pvarVal : v;
  if (value.vt == VT_BSTR) return sys::ToAnsi(value.bstrVal);
  if (value.vt == (VT_BYREF | VT_BSTR) && value.pbstrVal) return sys::ToAnsi(*value.pbstrVal);
  return "";
}

// An object that lives as long as the view: COM references are counted but never free it.
template <typename Interface>
class Unowned : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// window.external: read-only boolean members by name.
class External : public Unowned<IDispatch> {
 public:
  explicit External(const ExternalObject& members) : m_members(members) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      for (size_t m = 0; m < m_members.size(); ++m)
        if (sys::ToAnsi(names[i]) == m_members[m].name) ids[i] = static_cast<DISPID>(m + 1);
      if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id < 1 || static_cast<size_t>(id) > m_members.size()) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = m_members[id - 1].value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

 private:
  ExternalObject m_members;
};

class BrowserView;

// The control's DWebBrowserEvents2.
class Events : public Unowned<IDispatch> {
 public:
  explicit Events(BrowserView& view) : m_view(view) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2 ? this
                                                                                         : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override;

 private:
  BrowserView& m_view;
};

// The control's site: in-place host, its own frame, and the document host handler.
class BrowserView : public WebView,
                    public Unowned<IOleClientSite>,
                    public Unowned<IOleInPlaceSite>,
                    public Unowned<IOleInPlaceFrame>,
                    public Unowned<IDocHostUIHandler> {
 public:
  BrowserView(WebViewSite& site, const WebViewSettings& settings)
      : m_site(site),
        m_hostFlags(settings.hostFlags),
        m_external(settings.external),
        m_events(*this) {}
  ~BrowserView() override;
  bool Start(WindowRecord& record);

  void Navigate(const std::string& url) override;
  void GoBack() override {
    if (m_browser) m_browser->GoBack();
  }
  void Resize(int width, int height) override;

  // Event handling (Events::Invoke).
  bool BeforeNavigate(const std::string& url, const std::string& frame, bool newWindow) {
    return m_site.BeforeNavigate(url, frame, newWindow);
  }
  void DocumentComplete(IDispatch* frame, const std::string& url) {
    if (IsTopLevel(frame)) m_site.DocumentComplete(url);
  }

  // IUnknown, for every interface of the site.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(win32_DWORD, win32_DWORD, IMoniker**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (of the in-place site and of the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(win32_HWND* out) override {
    *out = m_host;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             win32_LPRECT position, win32_LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override;
  HRESULT STDMETHODCALLTYPE Scroll(win32_SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow, IOleInPlaceFrame: the view is its own frame, with no menus or tools.
  HRESULT STDMETHODCALLTYPE GetBorder(win32_LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, win32_HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(win32_MSG*, WORD) override { return S_FALSE; }

  // IDocHostUIHandler
  HRESULT STDMETHODCALLTYPE ShowContextMenu(win32_DWORD, win32_POINT*, IUnknown*,
                                            IDispatch*) override {
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetHostInfo(win32_DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    info->dwFlags = m_hostFlags;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowUI(win32_DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(win32_MSG*, const GUID*, win32_DWORD) override {
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR*, win32_DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override {
    *out = &m_external;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(win32_DWORD, LPWSTR, LPWSTR* out) override {
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
    *out = nullptr;
    return S_FALSE;
  }

 private:
  bool IsTopLevel(IDispatch* frame) const;

  WebViewSite& m_site;
  DWORD m_hostFlags;
  External m_external;
  Events m_events;
  win32_HWND m_host = nullptr;
  IOleObject* m_object = nullptr;
  IWebBrowser2* m_browser = nullptr;
  IConnectionPoint* m_connection = nullptr;
  win32_DWORD m_cookie = 0;
};

HRESULT Events::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                       UINT*) {
  if (!params) return S_OK;
  VARIANTARG* args = params->rgvarg;  // in reverse order
  if (id == DISPID_BEFORENAVIGATE2 && params->cArgs == 7 && args[0].vt == (VT_BYREF | VT_BOOL)) {
    const bool cancel = m_view.BeforeNavigate(TextOf(args[5]), TextOf(args[3]), false);
    *args[0].pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (id == DISPID_NEWWINDOW3 && params->cArgs == 5 && args[3].vt == (VT_BYREF | VT_BOOL)) {
    // The control never opens a window of its own: the view decides where the address goes.
    m_view.BeforeNavigate(TextOf(args[0]), "", true);
    *args[3].pboolVal = VARIANT_TRUE;
  } else if (id == DISPID_DOCUMENTCOMPLETE && params->cArgs == 2 && args[1].vt == VT_DISPATCH) {
    m_view.DocumentComplete(args[1].pdispVal, TextOf(args[0]));
  }
  return S_OK;
}

HRESULT BrowserView::QueryInterface(REFIID iid, void** out) {
  if (iid == IID_IUnknown || iid == IID_IOleClientSite)
    *out = static_cast<IOleClientSite*>(this);
  else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
    *out = static_cast<IOleInPlaceSite*>(this);
  else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
    *out = static_cast<IOleInPlaceFrame*>(this);
  else if (iid == IID_IDocHostUIHandler)
    *out = static_cast<IDocHostUIHandler*>(this);
  else
    *out = nullptr;
  return *out ? S_OK : E_NOINTERFACE;
}

HRESULT BrowserView::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                      win32_LPRECT position, win32_LPRECT clip,
                                      LPOLEINPLACEFRAMEINFO info) {
  *frame = this;
  *doc = nullptr;
  GetClientRect(m_host, position);
  *clip = *position;
  info->fMDIApp = FALSE;
  info->hwndFrame = m_host;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

bool BrowserView::IsTopLevel(IDispatch* frame) const {
  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  if (frame) frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
  m_browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
  const bool same = a && a == b;
  if (a) a->Release();
  if (b) b->Release();
  return same;
}

bool BrowserView::Start(WindowRecord& record) {
  win32_HWND top = win32ui::NativeOf(record.hwnd);
  if (!top) return false;
  // The control lives in a plain native child window at the view's place (the backend moves
  // and shows it with the view).
  const POINT offset = OffsetInTopLevel(record.hwnd);
  m_host = CreateWindowExA(0, "Static", "", WS_CHILD | WS_CLIPCHILDREN, offset.x, offset.y,
                           record.Width(), record.Height(), top, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
  if (!m_host) return false;
  record.hostedWidget = m_host;
  static const HRESULT ole = OleInitialize(nullptr);
  if (FAILED(ole)) return false;
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&m_object))))
    return false;
  m_object->SetClientSite(static_cast<IOleClientSite*>(this));
  win32_RECT area;
  GetClientRect(m_host, &area);
  if (FAILED(m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this),
                              0, m_host, &area)) ||
      FAILED(m_object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&m_browser))))
    return false;
  m_browser->put_Silent(VARIANT_TRUE);  // no script-error dialogs over the launcher
  IConnectionPointContainer* container = nullptr;
  if (SUCCEEDED(m_browser->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(&container)))) {
    if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &m_connection)))
      m_connection->Advise(&m_events, &m_cookie);
    container->Release();
  }
  return m_cookie != 0;
}

BrowserView::~BrowserView() {
  if (m_connection) {
    m_connection->Unadvise(m_cookie);
    m_connection->Release();
  }
  if (m_browser) {
    m_browser->Stop();
    m_browser->Release();
  }
  if (m_object) {
    m_object->Close(OLECLOSE_NOSAVE);
    m_object->SetClientSite(nullptr);
    m_object->Release();
  }
  // The host window goes with the view's child window (the backend destroys it).
}

void BrowserView::Navigate(const std::string& url) {
  if (!m_browser) return;
  BSTR address = SysAllocString(sys::ToWide(url).c_str());
  VARIANT empty;
  VariantInit(&empty);
  m_browser->Navigate(address, &empty, &empty, &empty, &empty);
  SysFreeString(address);
}

void BrowserView::Resize(int width, int height) {
  IOleInPlaceObject* inPlace = nullptr;
  if (!m_object ||
      FAILED(m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))))
    return;
  const win32_RECT area{0, 0, width, height};
  inPlace->SetObjectRects(&area, &area);
  inPlace->Release();
}

}  // namespace

std::unique_ptr<WebView> CreateWebView(WindowRecord& record, WebViewSite& site,
                                       const WebViewSettings& settings) {
  auto view = std::make_unique<BrowserView>(site, settings);
  if (!view->Start(record)) return nullptr;
  return view;
}

}  // namespace ui
